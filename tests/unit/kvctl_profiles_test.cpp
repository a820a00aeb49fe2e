// The profile table of kvctl set --profiles: CSV reading as spreadsheets
// write it, the checks that refuse a table before any tracker is touched
// (each naming row and column), and applying a row to the base settings.
#include <gtest/gtest.h>

#include "csv_table.h"
#include "settings/settings_file.h"
#include "temp_folder.h"
#include "unit_profiles.h"

using namespace settings;

namespace {

std::vector<std::vector<std::string>> Fields(std::string_view csv, std::vector<std::size_t>* rows = nullptr) {
  std::vector<CsvRecord> records;
  std::string error;
  EXPECT_TRUE(ParseCsv(csv, records, error)) << error;
  std::vector<std::vector<std::string>> out;
  for (const auto& r : records) {
    out.push_back(r.fields);
    if (rows) rows->push_back(r.row);
  }
  return out;
}

using Rows = std::vector<std::vector<std::string>>;

TEST(KvctlCsv, QuotesCommasBomAndLineEnds) {
  EXPECT_EQ(Fields("\xEF\xBB\xBFIMEI,User name\r\n1,\"Van, 7\"\r\n"),
            (Rows{{"IMEI", "User name"}, {"1", "Van, 7"}}));
  EXPECT_EQ(Fields("a,\"say \"\"hi\"\"\",\"\"\n"), (Rows{{"a", "say \"hi\"", ""}}));
  EXPECT_EQ(Fields("a,b\rc,d"), (Rows{{"a", "b"}, {"c", "d"}})) << "CR alone and no line end at the end";
  EXPECT_EQ(Fields("a,\n"), (Rows{{"a", ""}})) << "an empty last field";
  EXPECT_EQ(Fields("x\"y,z\n"), (Rows{{"x\"y", "z"}})) << "a quote inside an unquoted field is kept";
  // A line end inside quotes belongs to the field; rows keep the file's numbers
  // and blank lines or rows of empty cells are left out.
  std::vector<std::size_t> rows;
  EXPECT_EQ(Fields("h1,h2\r\n\r\n,,\r\n\"two\r\nlines\",x\r\nlast,y\r\n", &rows),
            (Rows{{"h1", "h2"}, {"two\r\nlines", "x"}, {"last", "y"}}));
  EXPECT_EQ(rows, (std::vector<std::size_t>{1, 4, 5}));
}

TEST(KvctlCsv, BrokenQuotingIsRefusedWithItsPlace) {
  std::vector<CsvRecord> records;
  std::string error;
  EXPECT_FALSE(ParseCsv("a,b\nc,\"open\n", records, error));
  EXPECT_EQ(error, "row 2, column 2: a quoted field is not closed before the end of the file");
  EXPECT_FALSE(ParseCsv("a,\"b\"c\n", records, error));
  EXPECT_EQ(error, "row 1, column 2: text after the closing quote of a quoted field");
}

std::string Refusal(std::string_view csv) {
  UnitProfiles profiles;
  std::string error;
  EXPECT_FALSE(profiles.Parse(csv, error)) << csv;
  return error;
}

TEST(KvctlProfiles, TablesThatAreRefusedNameRowAndColumn) {
  EXPECT_EQ(Refusal("IMEI,User name,Usr name\n1,a,b\n"),
            "row 1, column 3 (\"Usr name\"): not a key of the settings file");
  EXPECT_EQ(Refusal("IMEI,user NAME,User name\n"), "row 1, column 3 (\"User name\"): the key has a column already");
  EXPECT_EQ(Refusal("Unit,User name\n"), "row 1, column 1: the first column must be \"IMEI\"");
  EXPECT_EQ(Refusal("IMEI;User name\n1;a\n"),
            "row 1, column 1: the first column must be \"IMEI\" (the row holds semicolons; columns are "
            "separated by commas)");
  EXPECT_EQ(Refusal("IMEI,User name\n111,a\n222,b\n111,c\n"),
            "row 4, column 1 (\"IMEI\"): IMEI 111 is in row 2 already");
  EXPECT_EQ(Refusal("IMEI,User name\n3.56938E+14,a\n"),
            "row 2, column 1 (\"IMEI\"): \"3.56938E+14\" is not an IMEI (digits only; a spreadsheet may have "
            "written it as a number: format the column as text)");
  EXPECT_EQ(Refusal("IMEI,User name\n,a\n"), "row 2, column 1 (\"IMEI\"): \"\" is not an IMEI (digits only)");
  EXPECT_EQ(Refusal("IMEI,User name,Park time\n1,a\n"), "row 2: 2 cells, but the first row names 3 columns");
  EXPECT_EQ(Refusal("IMEI,SOS number1\n1,4.91511E+12\n"),
            "row 2, column 2 (\"SOS number1\"): \"4.91511E+12\" is a number a spreadsheet shortened (format the "
            "column as text)");
  EXPECT_EQ(Refusal("IMEI,Set time zone\n1,+5.5\n"),
            "row 2, column 2 (\"Set time zone\"): \"+5.5\" is not a value of this list (it would be written as "
            "\"+0.00\")");
  EXPECT_EQ(Refusal("IMEI,Report mode\n1,2\n"),
            "row 2, column 2 (\"Report mode\"): \"2\" is not a value of this list (it would be written as \"\")");
  EXPECT_EQ(Refusal("IMEI,User name\n1," + std::string(256, 'u') + "\n"),
            "row 2, column 2 (\"User name\"): 256 characters, a settings file keeps at most 255");
  EXPECT_EQ(Refusal("\xFF\xFE" "I"), "the table is UTF-16 text; save it as CSV (UTF-8 or plain)");
  EXPECT_EQ(Refusal(""), "the table is empty; its first row must name the columns: IMEI, then settings-file keys");
}

const char kBase[] =
    "[KV DEVICE SETTING]\r\nDEVICE=Box\r\n[MESSAGE 1]\r\nPark time=30\r\nUser name=Base\r\nReport mode=8\r\n"
    "Set time zone=+8.00\r\n[MESSAGE 2]\r\nSOS number1=5550000\r\nSOS number2=5550001\r\n";

TEST(KvctlProfiles, ValuesTheSettingsCheckRefusesNameRowAndColumn) {
  UnitProfiles profiles;
  std::string error;
  ASSERT_TRUE(profiles.Parse("IMEI,SOS number1,User name\n1,555,ok\n2,556,\"Unit,7\"\n", error)) << error;
  EXPECT_FALSE(profiles.CheckAgainst(kBase, error));
  EXPECT_EQ(error, "row 3, column 3 (\"User name\"): \"User Name\" (userName): comma at character 5");

  // A key of the basic layout only is checked as that layout sends it.
  ASSERT_TRUE(profiles.Parse("IMEI,Park return times\n1,\"3,4\"\n", error)) << error;
  EXPECT_FALSE(profiles.CheckAgainst(kBase, error));
  EXPECT_NE(error.find("row 2, column 2 (\"Park return times\"): "), std::string::npos) << error;
  EXPECT_NE(error.find("comma at character 2"), std::string::npos) << error;

  // Long numbers in one row make message 2 too long: the row and its cells of
  // that message are named.
  const std::string n60(60, '5');
  ASSERT_TRUE(profiles.Parse("IMEI,User name,SOS number2,SOS number3\n7,x," + n60 + "," + n60 + "\n", error));
  EXPECT_FALSE(profiles.CheckAgainst(kBase, error));
  EXPECT_EQ(error.rfind("row 2, columns \"SOS number2\", \"SOS number3\": Message 2 would be ", 0), 0u) << error;

  // A base file that is already too long is not the row's fault: each tracker's
  // own check refuses it, as a plain set does.
  const std::string longBase = "[MESSAGE 2]\r\nSOS number1=" + std::string(130, '1') + "\r\n";
  ASSERT_TRUE(profiles.Parse("IMEI,User name\n1,Van\n", error));
  EXPECT_TRUE(profiles.CheckAgainst(longBase, error)) << error;
}

TEST(KvctlProfiles, ARowReplacesTheBaseValuesOfItsNonEmptyCells) {
  UnitProfiles profiles;
  std::string error;
  ASSERT_TRUE(profiles.Parse("\xEF\xBB\xBF imei ,DEVICE,user name,SOS number1,report MODE,Set time zone\r\n"
                             "356938035643809,Van 7,Unit7,,10,-3.00\r\n"
                             "490154203237518, ,,\" 5550199 \",,\r\n",
                             error))
      << error;
  ASSERT_TRUE(profiles.CheckAgainst(kBase, error)) << error;
  ASSERT_EQ(profiles.Rows().size(), 2u);
  EXPECT_EQ(profiles.Find("490154203237518")->row, 3u);
  EXPECT_EQ(profiles.Find("111"), nullptr);

  DeviceSettings base = DeviceSettings::DialogStart();
  ApplySettingsFileText(kBase, SettingsLayout::Extended, base);

  DeviceSettings first = base;
  profiles.Apply(*profiles.Find("356938035643809"), first);
  DeviceSettings expected = base;
  expected.deviceName = "Van 7";
  expected.userName = "Unit7";
  SetFromFileValue(expected, SettingId::reportMode, "10");
  SetFromFileValue(expected, SettingId::timeZone, "-3.00");
  EXPECT_EQ(first, expected);
  EXPECT_EQ(FileValueText(first, SettingId::timeZone), "-3.00");
  EXPECT_EQ(first.sosNumber1, "5550000") << "an empty cell keeps the base value";

  DeviceSettings second = base;
  profiles.Apply(*profiles.Find("490154203237518"), second);
  expected = base;
  expected.sosNumber1 = "5550199";  // blanks around a value go, as in a settings file
  EXPECT_EQ(second, expected);
}

TEST(KvctlProfiles, LoadingNamesTheFileAndWhyItCannotBeRead) {
  test_support::TempFolder folder;
  UnitProfiles profiles;
  std::string bytes, error;
  EXPECT_FALSE(LoadUnitProfiles(folder.File("none.csv"), profiles, bytes, error));
  EXPECT_EQ(error, "cannot read the profile table " + folder.File("none.csv") + " (no such file)");
  EXPECT_FALSE(LoadUnitProfiles(folder.path(), profiles, bytes, error));
  EXPECT_NE(error.find("(is a directory)"), std::string::npos) << error;
  EXPECT_FALSE(LoadUnitProfiles("/dev/null", profiles, bytes, error));
  EXPECT_NE(error.find("(not a regular file)"), std::string::npos) << error;
  test_support::WriteTestFile(folder.File("units.csv"), "IMEI,Bogus\n");
  EXPECT_FALSE(LoadUnitProfiles(folder.File("units.csv"), profiles, bytes, error));
  EXPECT_EQ(error, folder.File("units.csv") + ": row 1, column 2 (\"Bogus\"): not a key of the settings file");
}

}  // namespace
