#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/file_replace.h"
#include "platform/profile_file.h"
#include "temp_folder.h"

namespace {

using platform::ProfileReader;
using platform::ProfileWriter;
using test_support::TempFolder;

TEST(ProfileReader, ReadsAsWindowsProfileFunctionsDo) {
  const std::string text =
      "orphan=before any section\r\n"
      "[Alpha]\r\n"
      "  Key One  =   spaced value \t \r\n"
      "KEY one=second\r\n"
      "quoted=\"  inner  \"\r\n"
      "single='x'\r\n"
      "mismatch=\"x'\r\n"
      "lone=\"\r\n"
      "pair=\"\"\r\n"
      "empty=\r\n"
      "bare\r\n"
      "eq=a=b ; not a comment\r\n"
      "\r\n"
      "   \t\r\n"
      "lf=only\n"
      "cr=only\r"
      "ctrlz=\x1a value\x1a\r\n"
      "[Beta] trailing text\r\n"
      "k=beta\r\n"
      "[alpha]\r\n"
      "late=1\r\n";
  const ProfileReader r = ProfileReader::Parse(text);
  EXPECT_EQ(r.Find("alpha", "key one"), "spaced value");
  EXPECT_EQ(r.Find("ALPHA", "quoted"), "  inner  ");
  EXPECT_EQ(r.Find("Alpha", "single"), "x");
  EXPECT_EQ(r.Find("Alpha", "mismatch"), "\"x'");
  EXPECT_EQ(r.Find("Alpha", "lone"), "\"");
  EXPECT_EQ(r.Find("Alpha", "pair"), "");
  EXPECT_EQ(r.Find("Alpha", "empty"), "");
  EXPECT_EQ(r.Find("Alpha", "bare"), "");
  EXPECT_EQ(r.Find("Alpha", "eq"), "a=b ; not a comment");
  EXPECT_EQ(r.Find("Alpha", "lf"), "only");
  EXPECT_EQ(r.Find("Alpha", "cr"), "only");
  EXPECT_EQ(r.Find("Alpha", "ctrlz"), "value");
  EXPECT_EQ(r.Find("beta", "K"), "beta");
  EXPECT_EQ(r.Find("Alpha", "late"), std::nullopt) << "only the first section of a name counts";
  EXPECT_EQ(r.Find("Alpha", "orphan"), std::nullopt);
  EXPECT_EQ(r.Find("Alpha", "missing"), std::nullopt);
  EXPECT_EQ(r.Find("Gamma", "k"), std::nullopt);
  EXPECT_EQ(r.Get("Gamma", "k"), "");
}

// Also: a UTF-8 byte-order mark before the first section is skipped.
TEST(ProfileReader, ValuesAreCutToTheLimitAfterQuotesGo) {
  const std::string long300(300, 'v');
  const std::string quoted255 = "\"" + std::string(255, 'w') + "\"";
  const ProfileReader r = ProfileReader::Parse("\xEF\xBB\xBF[S]\r\nlong=" + long300 + "\r\nquoted=" + quoted255 +
                                               "\r\nnul=ab" + std::string(1, '\0') + "cd\r\n");
  EXPECT_EQ(r.Get("S", "long"), std::string(255, 'v'));
  EXPECT_EQ(r.Get("S", "long", 10), std::string(10, 'v'));
  EXPECT_EQ(r.Get("S", "quoted"), std::string(255, 'w'));
  EXPECT_EQ(r.Get("S", "nul"), "ab");
}

TEST(ProfileWriter, WritesAFreshFileAsWindowsDoes) {
  ProfileWriter w;
  w.Set("First", "a", "  leading blanks go, trailing stay  ");
  w.Set("Second", "b", "");
  w.Set("first", "A", "\t\x1areplaced");
  w.Set("FIRST", "c", "3");
  EXPECT_EQ(w.Text(),
            "[First]\r\n"
            "a=replaced\r\n"
            "c=3\r\n"
            "[Second]\r\n"
            "b=\r\n");
  EXPECT_EQ(ProfileWriter().Text(), "");
}

TEST(ReplaceFileContents, CreatesAndReplacesLeavingNothingBehind) {
  TempFolder folder;
  const std::string path = folder.File("settings.ini");
  ASSERT_TRUE(platform::ReplaceFileContents(path, "first"));
  EXPECT_EQ(test_support::ReadTestFile(path), "first");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(platform::ReplaceFileContents(path, "second, longer than the first"));
  EXPECT_EQ(test_support::ReadTestFile(path), "second, longer than the first");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "a replaced file keeps its permissions";
  EXPECT_EQ(folder.Listing(), "settings.ini\n");

  // A link is followed: the file it names gets the bytes, the link stays.
  ASSERT_EQ(symlink("settings.ini", folder.File("link.ini").c_str()), 0);
  ASSERT_TRUE(platform::ReplaceFileContents(folder.File("link.ini"), "through the link"));
  EXPECT_EQ(test_support::ReadTestFile(path), "through the link");
  EXPECT_EQ(folder.Listing(), "link.ini\nsettings.ini\n");
}

TEST(ReplaceFileContents, FailsWithoutTouchingWhatIsThere) {
  TempFolder folder;
  EXPECT_FALSE(platform::ReplaceFileContents(folder.File("no such folder/x.ini"), "x"));
  EXPECT_FALSE(platform::ReplaceFileContents(folder.path(), "x"));
  EXPECT_FALSE(platform::ReplaceFileContents(folder.path() + "/", "x"));
  ASSERT_EQ(mkdir(folder.File("sub.ini").c_str(), 0755), 0);
  EXPECT_FALSE(platform::ReplaceFileContents(folder.File("sub.ini"), "x"));
  test_support::WriteTestFile(folder.File("locked.ini"), "old");
  ASSERT_EQ(chmod(folder.File("locked.ini").c_str(), 0444), 0);
  EXPECT_FALSE(platform::ReplaceFileContents(folder.File("locked.ini"), "x"));
  EXPECT_EQ(test_support::ReadTestFile(folder.File("locked.ini")), "old");
  EXPECT_EQ(folder.Listing(), "locked.ini\nsub.ini\n");
}

// A write that fails part-way (here: the file-size limit stands in for a
// full disk) leaves the old file whole and removes the new one.
TEST(ReplaceFileContents, FailurePartWayKeepsTheOldFile) {
  TempFolder folder;
  const std::string path = folder.File("settings.ini");
  const std::string old = "[MESSAGE 4]\r\nGPRS server address=192.0.2.10\r\n";
  test_support::WriteTestFile(path, old);

  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto savedHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 16;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool replaced = platform::ReplaceFileContents(path, std::string(4096, 'n'));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, savedHandler);

  EXPECT_FALSE(replaced);
  EXPECT_EQ(test_support::ReadTestFile(path), old);
  EXPECT_EQ(folder.Listing(), "settings.ini\n");
}

}  // namespace
