// The check of set's FILE (and a profile table's rows) before any port is
// opened: problems of either layout refuse the file, the layout is named
// when only one of them has the problem, and --strict counts what the
// table's rows give.
#include <gtest/gtest.h>

#include "settings_precheck.h"
#include "settings/settings_file.h"

using namespace settings;

namespace {

// Every key of the extended layout, values as a fresh export gives them.
std::string WholeFile(const std::string& userName = "Van", const std::string& server = "192.0.2.10") {
  DeviceSettings record = DeviceSettings::DialogStart();
  record.userName = userName;
  record.gprsServerAddress = server;
  return SettingsFileText(record, SettingsLayout::Extended);
}

// The file without the line of `key`.
std::string Without(std::string file, const std::string& key) {
  const auto at = file.find("\n" + key + "=");
  EXPECT_NE(at, std::string::npos) << key;
  if (at != std::string::npos) file.erase(at + 1, file.find('\n', at + 1) - at);
  return file;
}

struct Check {
  Check(const Check&) = delete;
  Check& operator=(const Check&) = delete;
  SettingsFileInput file;
  UnitProfiles table;
  SettingsCheckInput input;
  std::string error;

  Check(const std::string& bytes, const std::string& csv = "") {
    file = {"fleet.ini", bytes};
    input.file = &file;
    if (!csv.empty()) {
      EXPECT_TRUE(table.Parse(csv, error)) << error;
      input.profiles = &table;
      input.profilesPath = "units.csv";
    }
  }
  bool Run() { return CheckSettingsBeforeTrackers(input, error); }
};

TEST(KvctlSettingsPrecheck, TextsAndLengthsAreCheckedInBothLayouts) {
  Check good(WholeFile());
  EXPECT_TRUE(good.Run()) << good.error;

  Check comma(WholeFile("Van,7"));
  EXPECT_FALSE(comma.Run());
  EXPECT_EQ(comma.error.rfind("fleet.ini cannot be sent:\n  \"User Name\" (userName): comma at character 4", 0), 0u)
      << comma.error << "\na comma fails in both layouts: no layout is named";

  Check server(WholeFile("Van", std::string(130, 's')));
  EXPECT_FALSE(server.Run());
  EXPECT_EQ(server.error.rfind("fleet.ini cannot be sent:\n  Message 4 ", 0), 0u) << server.error;

  // Message 1 carries six more settings in the extended layout: a length
  // that only it exceeds is refused all the same, naming that layout.
  std::string error;
  for (std::string name(60, 'n'); error.empty() && name.size() < 130; name += 'n') {
    Check one(WholeFile(name));
    if (!one.Run()) error = one.error;
  }
  EXPECT_EQ(error.rfind("fleet.ini cannot be sent (trackers of the extended layout):\n  Message 1 ", 0), 0u) << error;
}

TEST(KvctlSettingsPrecheck, StrictCountsWhatTheTableRowsGive) {
  const std::string lacking = Without(WholeFile(), "User name");
  Check plain(lacking);
  plain.input.strict = true;
  EXPECT_FALSE(plain.Run());
  EXPECT_EQ(plain.error, "fleet.ini lacks 1 settings (--strict):\n  \"User Name\" (User name in [MESSAGE 1])");

  // Only the extended layout has Echo_EN: the refusal says so.
  Check extended(Without(WholeFile(), "Echo_EN"));
  extended.input.strict = true;
  EXPECT_FALSE(extended.Run());
  EXPECT_EQ(extended.error.rfind("fleet.ini lacks 1 settings (--strict) (trackers of the extended layout):", 0), 0u)
      << extended.error;

  // Every row gives the user name: complete for the rows, but a tracker
  // without a row would get it empty unless --only-listed skips it.
  const std::string table = "IMEI,User name\n356938035643809,Van 1\n490154203237518,Van 2\n";
  Check rows(lacking, table);
  rows.input.strict = true;
  EXPECT_FALSE(rows.Run());
  EXPECT_NE(rows.error.find("trackers without a row in units.csv would get them empty (--only-listed skips them)"),
            std::string::npos)
      << rows.error;
  rows.input.onlyListed = true;
  EXPECT_TRUE(rows.Run()) << rows.error;

  Check gap(lacking, "IMEI,User name\n356938035643809,Van 1\n490154203237518,\n");
  gap.input.strict = true;
  gap.input.onlyListed = true;
  EXPECT_FALSE(gap.Run());
  EXPECT_EQ(gap.error,
            "units.csv: row 3: neither the row nor fleet.ini gives 1 settings of the extended layout "
            "(--strict):\n  \"User Name\" (User name in [MESSAGE 1])");
}

TEST(KvctlSettingsPrecheck, WithOnlyListedTheFileIsCheckedAsEachRowChangesIt) {
  // The file's comma goes to no tracker when every row replaces it.
  Check replaced(WholeFile("Van,7"), "IMEI,User name\n356938035643809,Van 1\n");
  replaced.input.onlyListed = true;
  EXPECT_TRUE(replaced.Run()) << replaced.error;
  replaced.input.onlyListed = false;
  EXPECT_FALSE(replaced.Run()) << "a tracker without a row would get the comma";

  Check kept(WholeFile("Van,7"), "IMEI,User name,Park time\n356938035643809,Van 1,\n490154203237518,,30\n");
  kept.input.onlyListed = true;
  EXPECT_FALSE(kept.Run());
  EXPECT_EQ(kept.error.rfind("units.csv: row 3: ", 0), 0u) << kept.error;
  EXPECT_NE(kept.error.find("(the base file's value)"), std::string::npos) << kept.error;
}

}  // namespace
