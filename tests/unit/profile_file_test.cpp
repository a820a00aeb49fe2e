#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "platform/file_replace.h"
#include "platform/profile_file.h"
#include "platform/profile_file_encoding.h"
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

TEST(ProfileReader, BlanksAroundASectionNameInsideItsBracketsDoNotCount) {
  const ProfileReader r =
      ProfileReader::Parse("[ MESSAGE 2 ]\r\nSOS number1=5550101\r\n[\tMESSAGE 3\t]\r\nGPRS apn=net\r\n[ ]\r\nk=v\r\n");
  EXPECT_EQ(r.Find("MESSAGE 2", "SOS number1"), "5550101");
  EXPECT_EQ(r.Find("message 3", "GPRS apn"), "net");
  EXPECT_EQ(r.Find("", "k"), "v") << "a name of blanks only is the empty name";
  EXPECT_EQ(r.Find("MESSAGE  2", "SOS number1"), std::nullopt) << "blanks inside the name still count";
}

// UTF-16 text (with its byte-order mark) of a narrow string plus `extra`
// UTF-16 code units appended, little-endian unless `bigEndian`.
std::string Utf16(const std::string& ascii, const std::u16string& extra = {}, bool bigEndian = false) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  std::u16string units(ascii.begin(), ascii.end());
  units += extra;
  for (char16_t u : units) {
    const char low = static_cast<char>(u & 0xFF);
    const char high = static_cast<char>(u >> 8);
    out.push_back(bigEndian ? high : low);
    out.push_back(bigEndian ? low : high);
  }
  return out;
}

TEST(ProfileReader, UnicodeFilesAreReadInCodePage1252) {
  // "é" (U+00E9), "€" (U+20AC, 0x80 in the code page), "Ÿ" (U+0178, 0x9F).
  const ProfileReader utf8 = ProfileReader::Parse(
      "\xEF\xBB\xBF[S]\r\nname=Caf\xC3\xA9 \xE2\x82\xAC\xC5\xB8\r\nsnow=a\xE2\x98\x83z\r\n"
      "bad=a\xC3(\xF0\x9F\x98\x80z\r\n");
  EXPECT_EQ(utf8.Get("S", "name"), "Caf\xE9 \x80\x9F");
  EXPECT_EQ(utf8.Get("S", "snow"), "a\x7Fz") << "U+2603 is not in the code page";
  EXPECT_EQ(utf8.Get("S", "bad"), "a\x7F(\x7Fz") << "a broken sequence and a 4-byte character: one each";

  for (const bool bigEndian : {false, true}) {
    const ProfileReader utf16 =
        ProfileReader::Parse(Utf16("[ MESSAGE 1 ]\r\nUser name=Caf", u"\u00E9\u20AC\u2603\U0001F600!\r\n", bigEndian));
    EXPECT_EQ(utf16.Get("MESSAGE 1", "User name"), "Caf\xE9\x80\x7F\x7F!") << "big-endian: " << bigEndian;
  }

  // Without a byte-order mark the bytes stay as they are, whatever they are.
  const ProfileReader raw = ProfileReader::Parse("[S]\r\nname=Caf\xC3\xA9\x81\r\n");
  EXPECT_EQ(raw.Get("S", "name"), "Caf\xC3\xA9\x81");
}

TEST(ProfileEncoding, EveryCodePointOfTheCodePageMapsBackToItsByte) {
  // The code page's own table: bytes 0x80 to 0x9F that hold a character.
  const char32_t high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                             0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                             0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  for (unsigned b = 0; b < 256; ++b) {
    const char32_t cp = (b >= 0x80 && b < 0xA0) ? high[b - 0x80] : b;
    if (cp == 0) continue;
    EXPECT_EQ(static_cast<unsigned char>(platform::CodePointToAnsi(cp)), b) << b;
  }
  for (unsigned cp : {0x80u, 0x81u, 0x9Fu, 0x100u, 0x2603u, 0xFFFDu, 0x1F600u})
    EXPECT_EQ(platform::CodePointToAnsi(cp), platform::ANSI_SUBSTITUTE) << cp;
}

TEST(ReadProfileFile, ReadsOnlyRegularFilesUpToTheLimitAndSaysWhy) {
  using platform::FileReadError;
  TempFolder folder;
  std::string bytes = "left over";
  test_support::WriteTestFile(folder.File("ok.ini"), "[S]\r\nk=v\r\n");
  EXPECT_EQ(platform::ReadProfileFile(folder.File("ok.ini"), bytes), FileReadError::None);
  EXPECT_EQ(bytes, "[S]\r\nk=v\r\n");

  test_support::WriteTestFile(folder.File("big.ini"), std::string(101, 'x'));
  EXPECT_EQ(platform::ReadProfileFile(folder.File("big.ini"), bytes, 100), FileReadError::TooLarge);
  EXPECT_EQ(bytes, "");
  EXPECT_EQ(platform::ReadProfileFile(folder.File("big.ini"), bytes, 101), FileReadError::None);

  EXPECT_EQ(platform::ReadProfileFile(folder.File("none.ini"), bytes), FileReadError::NotFound);
  EXPECT_EQ(platform::ReadProfileFile(folder.path(), bytes), FileReadError::IsDirectory);
  EXPECT_EQ(platform::ReadProfileFile("/dev/zero", bytes), FileReadError::NotRegular);
  // A FIFO without a writer would block a plain open or read for ever.
  ASSERT_EQ(mkfifo(folder.File("fifo.ini").c_str(), 0600), 0);
  EXPECT_EQ(platform::ReadProfileFile(folder.File("fifo.ini"), bytes), FileReadError::NotRegular);
  EXPECT_STREQ(platform::DescribeFileReadError(FileReadError::NotRegular), "not a regular file");
  EXPECT_STREQ(platform::DescribeFileReadError(FileReadError::TooLarge), "too large (more than 1 MiB)");
}

// The calling thread alone acts as user `uid` (Linux keeps credentials per
// thread; the C library's wrappers would change every thread's).
template <class Fn>
void AsUserOnThisThread(uid_t uid, Fn fn) {
  std::thread([&] {
    ASSERT_EQ(syscall(SYS_setresuid, -1, uid, -1), 0);
    fn();
    syscall(SYS_setresuid, -1, 0, -1);
  }).join();
}

constexpr uid_t kNobody = 65534;

TEST(ReplaceFileContents, AFileInAFolderThatCannotBeWrittenIsWrittenInPlace) {
  TempFolder folder;
  ASSERT_EQ(chmod(folder.path().c_str(), 0755), 0);  // the other user may look in
  const std::string sub = folder.File("locked");
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  const std::string path = sub + "/settings.ini";
  test_support::WriteTestFile(path, "old bytes, longer than the new ones");
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);

  bool replaced = false;
  int error = -1;
  if (geteuid() == 0) {
    // The folder belongs to the superuser; another user may write only the file.
    AsUserOnThisThread(kNobody, [&] { replaced = platform::ReplaceFileContents(path, "new", error); });
  } else {
    ASSERT_EQ(chmod(sub.c_str(), 0555), 0);
    replaced = platform::ReplaceFileContents(path, "new", error);
    chmod(sub.c_str(), 0755);
  }
  EXPECT_TRUE(replaced);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(test_support::ReadTestFile(path), "new");
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode, before.st_mode);
}

TEST(ReplaceFileContents, TheFileStaysTheSameFileForItsLinksAndOwner) {
  TempFolder folder;
  const std::string path = folder.File("settings.ini");
  test_support::WriteTestFile(path, "old");
  ASSERT_EQ(chmod(path.c_str(), 0604), 0);
  ASSERT_EQ(link(path.c_str(), folder.File("other name.ini").c_str()), 0);
  ASSERT_TRUE(platform::ReplaceFileContents(path, "new"));
  EXPECT_EQ(test_support::ReadTestFile(folder.File("other name.ini")), "new") << "the hard link shares it";
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  EXPECT_EQ(st.st_nlink, 2u);

  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs the superuser";
  const std::string owned = folder.File("owned.ini");
  test_support::WriteTestFile(owned, "old");
  ASSERT_EQ(chown(owned.c_str(), kNobody, kNobody), 0);
  ASSERT_TRUE(platform::ReplaceFileContents(owned, "new"));
  ASSERT_EQ(stat(owned.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kNobody) << "the owner stays";
  EXPECT_EQ(st.st_gid, kNobody);
  EXPECT_EQ(test_support::ReadTestFile(owned), "new");
}

TEST(ReplaceFileContents, ALinkPlantedInASharedFolderByAnotherUserIsNotFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "planting a link as another user needs the superuser";
  TempFolder folder;
  const std::string victim = folder.File("victim.ini");
  test_support::WriteTestFile(victim, "precious");
  const std::string shared = folder.File("shared");
  ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  const std::string planted = shared + "/settings.ini";
  ASSERT_EQ(symlink(victim.c_str(), planted.c_str()), 0);
  ASSERT_EQ(lchown(planted.c_str(), kNobody, kNobody), 0);

  int error = 0;
  EXPECT_FALSE(platform::ReplaceFileContents(planted, "overwritten", error));
  EXPECT_EQ(error, EACCES);
  EXPECT_EQ(test_support::ReadTestFile(victim), "precious");
  struct stat st {};
  ASSERT_EQ(lstat(planted.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link is left as it was";

  // The caller's own link, and one of the folder's owner, are followed.
  ASSERT_EQ(lchown(planted.c_str(), 0, 0), 0);
  EXPECT_TRUE(platform::ReplaceFileContents(planted, "through my link", error));
  EXPECT_EQ(test_support::ReadTestFile(victim), "through my link");
}

}  // namespace
