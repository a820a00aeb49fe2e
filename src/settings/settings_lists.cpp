#include "settings/settings_lists.h"

#include <array>
#include <limits>

namespace settings {
namespace {

constexpr std::array<std::string_view, 2> TWO_STATE_ITEMS = {"0:disable", "1:enable"};
constexpr std::array<std::string_view, 2> REVERSED_TWO_STATE_ITEMS = {"0:enable", "1:disable"};
constexpr std::array<std::string_view, 2> FORMAT_ITEMS = {"0:TEXT format", "1:NMEA format"};
constexpr std::array<std::string_view, 4> REPORT_METHOD_ITEMS = {"0:Default", "1:SMS", "2:GPRS", "3:SMS+GPRS"};

constexpr std::array<std::string_view, REPORT_MODE_COUNT> REPORT_MODE_ITEMS = {
    "SMS immediate report: mode 0",
    "SMS period report: mode 1",
    "Stop report",
    "GPRS immediate report: mode 8",
    "GPRS disconnect and period report: mode 10",
    "Motion report:mode 16",
    "SMS/GPRS immediate report: mode 21",
    "SMS/GPRS period report: mode 22",
};
constexpr std::array<int, REPORT_MODE_COUNT> REPORT_MODE_CODES = {0, 1, 2, 8, 10, 16, 21, 22};

constexpr std::array<std::string_view, TIME_ZONE_COUNT> TIME_ZONE_ITEMS = {
    "+13.00", "+12.00", "+11.00", "+10.00", "+9.00", "+8.00",  "+7.00",  "+6.00",  "+5.00",
    "+4.00",  "+3.00",  "+2.00",  "+1.00",  "+0.00", "-1.00",  "-2.00",  "-3.00",  "-4.00",
    "-5.00",  "-6.00",  "-7.00",  "-8.00",  "-9.00", "-10.00", "-11.00", "-12.00",
};
static_assert(TIME_ZONE_ITEMS[TIME_ZONE_UTC_POSITION] == "+0.00");
static_assert(REPORT_MODE_ITEMS[REPORT_MODE_STOP_POSITION] == "Stop report");

bool IsNumberBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::span<const std::string_view> ListItems(SettingList list) {
  switch (list) {
    case SettingList::None: return {};
    case SettingList::TwoState: return TWO_STATE_ITEMS;
    case SettingList::ReversedTwoState: return REVERSED_TWO_STATE_ITEMS;
    case SettingList::Format: return FORMAT_ITEMS;
    case SettingList::ReportMethod: return REPORT_METHOD_ITEMS;
    case SettingList::ReportMode: return REPORT_MODE_ITEMS;
    case SettingList::TimeZone: return TIME_ZONE_ITEMS;
  }
  return {};
}

ListSelection SelectPosition(SettingList list, long long position) {
  const auto count = static_cast<long long>(ListItems(list).size());
  if (position < 0 || position >= count) return std::nullopt;
  return static_cast<int>(position);
}

std::string_view SelectedItemText(SettingList list, ListSelection selection) {
  if (!selection) return {};
  const auto items = ListItems(list);
  if (*selection < 0 || static_cast<std::size_t>(*selection) >= items.size()) return {};
  return items[static_cast<std::size_t>(*selection)];
}

ListSelection FindListItem(SettingList list, std::string_view text) {
  const auto items = ListItems(list);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] == text) return static_cast<int>(i);
  }
  return std::nullopt;
}

int SelectTimeZone(std::string_view text) {
  return FindListItem(SettingList::TimeZone, text).value_or(TIME_ZONE_UTC_POSITION);
}

std::optional<int> ReportModeCode(ListSelection position) {
  if (!position || *position < 0 || *position >= REPORT_MODE_COUNT) return std::nullopt;
  return REPORT_MODE_CODES[static_cast<std::size_t>(*position)];
}

int ReportModePosition(long long code) {
  for (int i = 0; i < REPORT_MODE_COUNT; ++i) {
    if (i != REPORT_MODE_STOP_POSITION && REPORT_MODE_CODES[static_cast<std::size_t>(i)] == code) return i;
  }
  return REPORT_MODE_STOP_POSITION;
}

long long ParseListNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsNumberBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr long long LIMIT = std::numeric_limits<long long>::max() / 10 - 1;
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value < LIMIT) value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace settings
