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
  EXPECT_EQ(Fields("\xEF\xBB\xBFIMEI,User name\r\n1,\"Van, 7\"\r\n"), (Rows{{"IMEI", "User name"}, {"1", "Van, 7"}}));
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
  EXPECT_EQ(Refusal("IMEI,User name,Usr name\n356938035643809,a,b\n"),
            "row 1, column 3 (\"Usr name\"): not a key of the settings file");
  EXPECT_EQ(Refusal("IMEI,user NAME,User name\n"), "row 1, column 3 (\"User name\"): the key has a column already");
  EXPECT_EQ(Refusal("Unit,User name\n"), "row 1, column 1: the first column must be \"IMEI\"");
  EXPECT_EQ(Refusal("IMEI;User name\n1;a\n"),
            "row 1, column 1: the first column must be \"IMEI\" (the row holds semicolons; columns are "
            "separated by commas)");
  EXPECT_EQ(Refusal("IMEI,User name\n356938035643809,a\n490154203237518,b\n356938035643809,c\n"),
            "row 4, column 1 (\"IMEI\"): IMEI 356938035643809 is in row 2 already");
  EXPECT_EQ(Refusal("IMEI,User name\n3.56938E+14,a\n"),
            "row 2, column 1 (\"IMEI\"): \"3.56938E+14\" is not an IMEI (digits only; a spreadsheet may have "
            "written it as a number: format the column as text)");
  EXPECT_EQ(Refusal("IMEI,User name\n,a\n"), "row 2, column 1 (\"IMEI\"): \"\" is not an IMEI (digits only)");
  EXPECT_EQ(Refusal("IMEI,User name,Park time\n356938035643809,a\n"),
            "row 2: 2 cells, but the first row names 3 columns");
  EXPECT_EQ(Refusal("IMEI,SOS number1\n356938035643809,4.91511E+12\n"),
            "row 2, column 2 (\"SOS number1\"): \"4.91511E+12\" is a number a spreadsheet shortened (format the "
            "column as text)");
  EXPECT_EQ(Refusal("IMEI,Set time zone\n356938035643809,+5.5\n"),
            "row 2, column 2 (\"Set time zone\"): \"+5.5\" is not a value of this list (it would be written as "
            "\"+0.00\")");
  EXPECT_EQ(Refusal("IMEI,Report mode\n356938035643809,2\n"),
            "row 2, column 2 (\"Report mode\"): \"2\" is not a value of this list (it would be written as \"\")");
  EXPECT_EQ(Refusal("IMEI,User name\n356938035643809," + std::string(256, 'u') + "\n"),
            "row 2, column 2 (\"User name\"): 256 characters, a settings file keeps at most 255");
  EXPECT_EQ(Refusal("\xFF\xFE"
                    "I"),
            "the table is UTF-16 text; save it as CSV (UTF-8 or plain)");
  EXPECT_EQ(Refusal(""), "the table is empty; its first row must name the columns: IMEI, then settings-file keys");
}

const char kBase[] =
    "[KV DEVICE SETTING]\r\nDEVICE=Box\r\n[MESSAGE 1]\r\nPark time=30\r\nUser name=Base\r\nReport mode=8\r\n"
    "Set time zone=+8.00\r\n[MESSAGE 2]\r\nSOS number1=5550000\r\nSOS number2=5550001\r\n";

TEST(KvctlProfiles, ValuesTheSettingsCheckRefusesNameRowAndColumn) {
  UnitProfiles profiles;
  std::string error;
  ASSERT_TRUE(
      profiles.Parse("IMEI,SOS number1,User name\n356938035643809,555,ok\n490154203237518,556,\"Unit,7\"\n", error))
      << error;
  EXPECT_FALSE(profiles.CheckAgainst(kBase, error));
  EXPECT_EQ(error, "row 3, column 3 (\"User name\"): \"User Name\" (userName): comma at character 5");

  // A key of the basic layout only is checked as that layout sends it.
  ASSERT_TRUE(profiles.Parse("IMEI,Park return times\n356938035643809,\"3,4\"\n", error)) << error;
  EXPECT_FALSE(profiles.CheckAgainst(kBase, error));
  EXPECT_NE(error.find("row 2, column 2 (\"Park return times\"): "), std::string::npos) << error;
  EXPECT_NE(error.find("comma at character 2"), std::string::npos) << error;

  // Long numbers in one row make message 2 too long: the row and its cells of
  // that message are named.
  const std::string n60(60, '5');
  ASSERT_TRUE(
      profiles.Parse("IMEI,User name,SOS number2,SOS number3\n356938035643809,x," + n60 + "," + n60 + "\n", error));
  EXPECT_FALSE(profiles.CheckAgainst(kBase, error));
  EXPECT_EQ(error.rfind("row 2, columns \"SOS number2\", \"SOS number3\": Message 2 would be ", 0), 0u) << error;

  // A row that keeps a base value the check refuses would send it: the row
  // is named, and the value as the base file's.
  const std::string longBase = "[MESSAGE 2]\r\nSOS number1=" + std::string(130, '1') + "\r\n";
  ASSERT_TRUE(profiles.Parse("IMEI,User name\n356938035643809,Van\n", error));
  EXPECT_FALSE(profiles.CheckAgainst(longBase, error));
  EXPECT_EQ(error.rfind("row 2: Message 2 would be ", 0), 0u) << error;
  ASSERT_TRUE(profiles.Parse("IMEI,User name,SOS number1\n356938035643809,Van,\n490154203237518,Van,555\n", error));
  EXPECT_FALSE(profiles.CheckAgainst("[MESSAGE 2]\r\nSOS number1=5,5\r\n", error));
  EXPECT_EQ(error.rfind("row 2: ", 0), 0u) << error;
  EXPECT_NE(error.find("(the base file's value)"), std::string::npos) << error;
  ASSERT_TRUE(profiles.Parse("IMEI,SOS number1\n356938035643809,555\n", error));
  EXPECT_TRUE(profiles.CheckAgainst("[MESSAGE 2]\r\nSOS number1=5,5\r\n", error)) << "the row replaces it";
}

TEST(KvctlProfiles, ARowReplacesTheBaseValuesOfItsNonEmptyCells) {
  UnitProfiles profiles;
  std::string error;
  ASSERT_TRUE(
      profiles.Parse("\xEF\xBB\xBF imei ,DEVICE,user name,SOS number1,report MODE,Set time zone\r\n"
                     "356938035643809,Van 7,Unit7,,10,-3.00\r\n"
                     "490154203237518, ,,\" 5550199 \",,\r\n",
                     error))
      << error;
  ASSERT_TRUE(profiles.CheckAgainst(kBase, error)) << error;
  ASSERT_EQ(profiles.Rows().size(), 2u);
  EXPECT_EQ(profiles.Find("490154203237518")->row, 3u);
  EXPECT_EQ(profiles.Find("351756051523999"), nullptr);

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

TEST(KvctlProfiles, ControlBytesAndIMEIsOtherThan15DigitsAreRefusedWithTheirPlace) {
  EXPECT_EQ(Refusal(std::string("IMEI,User name\n356938035643809,Van") + '\0' + " 7\n"),
            "row 2, column 2: a control byte (0x00) at character 4; a cell holds one line of text");
  EXPECT_EQ(Refusal("IMEI,User name\n356938035643809,\"two\r\nlines\"\n"),
            "row 2, column 2: a control byte (0x0D) at character 4; a cell holds one line of text");
  EXPECT_EQ(Refusal("IMEI,User name\n356938035643809,a\tb\n"),
            "row 2, column 2: a control byte (0x09) at character 2; a cell holds one line of text");
  EXPECT_EQ(Refusal("IMEI,User name\n356938035643809,a\x7f\n"),
            "row 2, column 2: a control byte (0x7F) at character 2; a cell holds one line of text");
  EXPECT_EQ(Refusal("IM\x01"
                    "EI,User name\n"),
            "row 1, column 1: a control byte (0x01) at character 3; a cell holds one line of text");
  EXPECT_EQ(Refusal("IMEI,User name\n56938035643809,a\n"),
            "row 2, column 1 (\"IMEI\"): \"56938035643809\" is not an IMEI (15 digits, not 14; a spreadsheet may "
            "have dropped a leading zero: format the column as text)");
  EXPECT_EQ(Refusal("IMEI,User name\n3569380356438090,a\n"),
            "row 2, column 1 (\"IMEI\"): \"3569380356438090\" is not an IMEI (15 digits, not 16)");
  UnitProfiles profiles;
  std::string error;
  EXPECT_TRUE(profiles.Parse("IMEI,User name\n 056938035643809 ,a\n", error)) << error;
}

TEST(KvctlProfiles, AUtf8TableIsReadInCodePage1252AndWhatItCannotHoldIsRefused) {
  // With a byte-order mark, without one, and a table already in code page
  // 1252: each gives the tracker the same bytes.
  for (const std::string table : {"\xEF\xBB\xBFIMEI,User name\n356938035643809,M\xC3\xBCller \xE2\x82\xAC\n",
                                  "IMEI,User name\n356938035643809,M\xC3\xBCller \xE2\x82\xAC\n",
                                  "IMEI,User name\n356938035643809,M\xFCller \x80\n"}) {
    UnitProfiles profiles;
    std::string error;
    ASSERT_TRUE(profiles.Parse(table, error)) << error;
    DeviceSettings record = DeviceSettings::DialogStart();
    profiles.Apply(profiles.Rows().front(), record);
    EXPECT_EQ(record.userName, "M\xFCller \x80") << table;
  }
  EXPECT_EQ(Refusal("IMEI,User name\n356938035643809,Stra\xC3\x9F"
                    "e \xE5\xAD\x97\n"),
            "row 2, column 2: \"\xE5\xAD\x97\" (U+5B57) at character 8 is not in code page 1252, the tracker's "
            "character set");
  EXPECT_EQ(Refusal("IMEI,User name\n356938035643809,a\xC2\x85\n"),
            "row 2, column 2: a control byte (0x85) at character 2; a cell holds one line of text");
  EXPECT_EQ(Refusal("\xEF\xBB\xBFIMEI,User name\n356938035643809,M\xFCller\n"),
            "row 2, column 2: byte 0xFC at character 2 is not UTF-8, though the table starts with the UTF-8 "
            "byte-order mark");
}

TEST(KvctlProfiles, RowsThatMatchedNoTrackerAreListed) {
  UnitProfiles profiles;
  std::string error;
  ASSERT_TRUE(
      profiles.Parse("IMEI,User name,Park time\n356938035643809,a,\n490154203237518,,30\n"
                     "351756051523999,c,40\n",
                     error))
      << error;
  EXPECT_EQ(profiles.Supplied(profiles.Rows()[1]), std::vector<SettingId>{SettingId::parkTime});
  EXPECT_EQ(DescribeUnmatchedRows(profiles, "u.csv", {"356938035643809", "490154203237518", "351756051523999"}), "");
  EXPECT_EQ(DescribeUnmatchedRows(profiles, "u.csv", {"490154203237518"}),
            "2 rows of u.csv matched no tracker:\n  row 2: IMEI 356938035643809\n  row 4: IMEI 351756051523999");
  EXPECT_EQ(DescribeUnmatchedRows(profiles, "u.csv", {}, 1),
            "3 rows of u.csv matched no tracker:\n  row 2: IMEI 356938035643809\n  and 2 more");
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
