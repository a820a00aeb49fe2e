#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "settings/settings_lists.h"

namespace {

using namespace settings;

TEST(SettingsLists, TimeZoneItemsRunFromPlus13ToMinus12) {
  const auto items = ListItems(SettingList::TimeZone);
  ASSERT_EQ(items.size(), 26u);
  for (int p = 0; p < 26; ++p) {
    const int hours = 13 - p;
    const std::string expected = (hours >= 0 ? "+" : "-") + std::to_string(std::abs(hours)) + ".00";
    EXPECT_EQ(items[static_cast<std::size_t>(p)], expected);
  }
}

TEST(SettingsLists, TimeZoneSelectionNeedsAnExactMatch) {
  EXPECT_EQ(SelectTimeZone("+8.00"), 5);
  EXPECT_EQ(SelectTimeZone("-12.00"), 25);
  EXPECT_EQ(SelectTimeZone("+13.00"), 0);
  EXPECT_EQ(SelectTimeZone("+8"), TIME_ZONE_UTC_POSITION);
  EXPECT_EQ(SelectTimeZone("+5.50"), TIME_ZONE_UTC_POSITION);
  EXPECT_EQ(SelectTimeZone("8.00"), TIME_ZONE_UTC_POSITION);
  EXPECT_EQ(SelectTimeZone("+8.00 "), TIME_ZONE_UTC_POSITION);
  EXPECT_EQ(SelectTimeZone(""), TIME_ZONE_UTC_POSITION);
}

TEST(SettingsLists, ReportModeCodesBothWays) {
  const int codes[] = {0, 1, 2, 8, 10, 16, 21, 22};
  for (int p = 0; p < REPORT_MODE_COUNT; ++p) {
    ASSERT_EQ(ReportModeCode(p), codes[p]);
    EXPECT_EQ(ReportModePosition(codes[p]), p);
  }
  EXPECT_EQ(ReportModeCode(std::nullopt), std::nullopt);
  EXPECT_EQ(ReportModeCode(8), std::nullopt);
  EXPECT_EQ(ReportModeCode(-1), std::nullopt);
  for (long long unknown : {-1LL, 3LL, 9LL, 23LL, 1000000000000LL})
    EXPECT_EQ(ReportModePosition(unknown), REPORT_MODE_STOP_POSITION) << unknown;
  EXPECT_EQ(SelectedItemText(SettingList::ReportMode, 2), "Stop report");
  EXPECT_EQ(SelectedItemText(SettingList::ReportMode, 3), "GPRS immediate report: mode 8");
}

TEST(SettingsLists, NumbersAreReadLikeTheTrackerReadsThem) {
  EXPECT_EQ(ParseListNumber("  +8x"), 8);
  EXPECT_EQ(ParseListNumber("\t-1"), -1);
  EXPECT_EQ(ParseListNumber("abc"), 0);
  EXPECT_EQ(ParseListNumber(""), 0);
  EXPECT_EQ(ParseListNumber("\r"), 0);
  EXPECT_EQ(ParseListNumber("- 3"), 0);
  EXPECT_EQ(ParseListNumber("010"), 10);
  EXPECT_GT(ParseListNumber("99999999999999999999999999"), 1000000000000LL);  // saturates, no overflow
  EXPECT_LT(ParseListNumber("-99999999999999999999999999"), -1000000000000LL);
}

TEST(SettingsLists, PositionsOutsideAListMeanNoSelection) {
  EXPECT_EQ(SelectPosition(SettingList::ReversedTwoState, 1), 1);
  EXPECT_EQ(SelectPosition(SettingList::ReversedTwoState, 2), std::nullopt);
  EXPECT_EQ(SelectPosition(SettingList::ReportMethod, 3), 3);
  EXPECT_EQ(SelectPosition(SettingList::ReportMethod, -1), std::nullopt);
  EXPECT_EQ(SelectedItemText(SettingList::ReversedTwoState, 0), "0:enable");
  EXPECT_EQ(SelectedItemText(SettingList::Format, 5), "");
  EXPECT_EQ(FindListItem(SettingList::ReportMethod, "3:SMS+GPRS"), 3);
  EXPECT_EQ(FindListItem(SettingList::ReportMethod, "3:sms+gprs"), std::nullopt);
}

}  // namespace
