// What kvctl writes and how: JSON strings from the tracker's code page 1252
// and from UTF-8 text, new output files that may hold the GPRS password, and
// the terminals a line may be redrawn on.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "console.h"
#include "common/json_text.h"
#include "output_file.h"
#include "platform/file_replace.h"
#include "temp_folder.h"

namespace {

using test_support::ReadTestFile;
using test_support::TempFolder;
using test_support::WriteTestFile;

TEST(KvctlJsonText, TheTrackersCodePage1252BecomesUnicode) {
  EXPECT_EQ(JsonStringFromAnsi("Caf\xE9 \x80"), "\"Caf\xC3\xA9 \xE2\x82\xAC\"");
  // Every byte of the code page: the typographic ones of 0x80 to 0x9F, the
  // Latin-1 ones above, the five the code page leaves undefined as controls.
  EXPECT_EQ(JsonStringFromAnsi("\x84\x99\x9F\xA0\xFF"), "\"\xE2\x80\x9E\xE2\x84\xA2\xC5\xB8\xC2\xA0\xC3\xBF\"");
  EXPECT_EQ(JsonStringFromAnsi("\x81\x8D\x8F\x90\x9D"), "\"\\u0081\\u008d\\u008f\\u0090\\u009d\"");
  EXPECT_EQ(JsonStringFromAnsi(std::string("a\"b\\c\x01\x1f\x7f\r\n", 10)),
            "\"a\\\"b\\\\c\\u0001\\u001f\\u007f\\u000d\\u000a\"");
  EXPECT_EQ(JsonStringFromAnsi(std::string("\0", 1)), "\"\\u0000\"");
}

TEST(KvctlJsonText, Utf8TextStaysAndStrayBytesAreEscaped) {
  EXPECT_EQ(JsonString("/home/j\xC3\xBCrgen/\xE2\x82\xAC.ini"), "\"/home/j\xC3\xBCrgen/\xE2\x82\xAC.ini\"");
  // A byte outside any valid sequence, an overlong form, a surrogate, a cut
  // sequence at the end.
  EXPECT_EQ(JsonString("\xFF\xC0\x80\xED\xA0\x80\xE2\x82"),
            "\"\\u00ff\\u00c0\\u0080\\u00ed\\u00a0\\u0080\\u00e2\\u0082\"");
  EXPECT_EQ(JsonString("\xC2\x85"
                       "x\x7f"),
            "\"\\u0085x\\u007f\"")
      << "controls written as escapes";
}

TEST(KvctlOutputFiles, NewFilesAreTheOwnersAloneAndReplacedOnesKeepTheirPermissions) {
  TempFolder temp;
  const mode_t oldMask = ::umask(022);
  std::string reason;
  ASSERT_TRUE(WriteOutputFile(temp.File("new.ini"), "GPRS user password=s3cret\r\n", reason)) << reason;
  const std::string shared = temp.File("shared.ini");
  WriteTestFile(shared, "old");
  ASSERT_EQ(::chmod(shared.c_str(), 0644), 0);
  ASSERT_TRUE(WriteOutputFile(shared, "new", reason)) << reason;
  int error = 0;
  ASSERT_TRUE(platform::ReplaceFileContents(temp.File("plain.ini"), "x", error, platform::NewFileAccess::Shared));
  ::umask(oldMask);

  const auto mode = [](const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
  };
  EXPECT_EQ(mode(temp.File("new.ini")), 0600u);
  EXPECT_EQ(mode(shared), 0644u);
  EXPECT_EQ(ReadTestFile(shared), "new");
  EXPECT_EQ(mode(temp.File("plain.ini")), 0644u) << "the umask decides for other files";
}

// A terminal redraws a line unless TERM says it cannot; a file never does.
TEST(KvctlConsole, OnlyATerminalThatKnowsHowRedrawsALine) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  const char* saved = ::getenv("TERM");
  const std::string old = saved ? saved : "";
  ::setenv("TERM", "xterm", 1);
  EXPECT_TRUE(console::CanRedrawLine(slave));
  ::setenv("TERM", "dumb", 1);
  EXPECT_FALSE(console::CanRedrawLine(slave));
  ::unsetenv("TERM");
  EXPECT_FALSE(console::CanRedrawLine(slave));
  ::setenv("TERM", "xterm", 1);
  const int file = ::open("/dev/null", O_WRONLY);
  EXPECT_FALSE(console::CanRedrawLine(file));
  if (saved) ::setenv("TERM", old.c_str(), 1);
  else ::unsetenv("TERM");
  ::close(file);
  ::close(slave);
  ::close(master);
}

}  // namespace
