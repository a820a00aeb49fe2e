// The firmware transfer engine: the file source's progress lines, the file
// checks before anything is sent, and whole updates through the port, from
// the tracker's menu to the image it received.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "firmware/file_transfer_source.h"
#include "firmware/firmware_transfer.h"
#include "firmware/serial_channel.h"
#include "clock_speed.h"
#include "firmware_rig.h"
#include "sim_tracker.h"
#include "temp_folder.h"

namespace {

using kvtest::BootLoaderRig;
using kvtest::PatternImage;
using kvtest::ProgressLog;
using Bytes = std::vector<unsigned char>;

// Writes an image into the test's folder and returns its path.
std::string WriteImage(const test_support::TempFolder& dir, const std::string& name, const Bytes& data) {
  std::string path = dir.File(name);
  test_support::WriteTestFile(path, std::string(data.begin(), data.end()));
  return path;
}

// Captures what the engine writes to its console stream.
class Console {
 public:
  Console() : stream_(::open_memstream(&buffer_, &size_)) {}
  ~Console() {
    if (stream_) std::fclose(stream_);
    std::free(buffer_);
  }
  std::FILE* Stream() { return stream_; }
  std::string Text() {
    std::fflush(stream_);
    return std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* stream_;
};

TEST(FileTransferSource, WritesAProgressLineBeforeEachRead) {
  test_support::TempFolder dir;
  std::FILE* f = std::fopen(WriteImage(dir, "a.bin", PatternImage(2500)).c_str(), "rb");
  ASSERT_NE(f, nullptr);
  Console console;
  FileTransferSource source(f, 2500, console.Stream());
  BYTE buf[1024];
  EXPECT_EQ(source.Read(buf, 1024), 1024);
  EXPECT_EQ(source.Read(buf, 1024), 1024);
  EXPECT_EQ(source.Read(buf, 1024), 452);
  EXPECT_EQ(source.Read(buf, 1024), 0);
  std::fclose(f);
  EXPECT_EQ(console.Text(),
            "       0 bytes of 2500 -   0%\r"
            "    1024 bytes of 2500 -  40%\r"
            "    2048 bytes of 2500 -  81%\r"
            "    2500 bytes of 2500 - 100%\r");
}

TEST(FileTransferSource, AnEmptyFileEndsAtOnceAndAFileThatChangedSizeFails) {
  test_support::TempFolder dir;
  Console console;
  std::FILE* empty = std::fopen(WriteImage(dir, "e.bin", {}).c_str(), "rb");
  FileTransferSource none(empty, 0, console.Stream());
  BYTE buf[1024];
  EXPECT_EQ(none.Read(buf, 1024), 0);
  EXPECT_EQ(console.Text(), "       0 bytes of 0 -   0%\r");
  std::fclose(empty);

  std::FILE* shorter = std::fopen(WriteImage(dir, "s.bin", PatternImage(100)).c_str(), "rb");
  FileTransferSource shrunk(shorter, 200, nullptr);
  EXPECT_EQ(shrunk.Read(buf, 1024), 100);
  EXPECT_EQ(shrunk.Read(buf, 1024), TRANSFER_SOURCE_FAILED);
  std::fclose(shorter);

  std::FILE* longer = std::fopen(WriteImage(dir, "l.bin", PatternImage(1500)).c_str(), "rb");
  FileTransferSource grown(longer, 1200, nullptr);
  EXPECT_EQ(grown.Read(buf, 1024), 1024);
  EXPECT_EQ(grown.Read(buf, 1024), TRANSFER_SOURCE_FAILED) << "never hands out more than measured";
  std::fclose(longer);
}

TEST(FirmwareTransfer, SendsTheFileUnderItsLoweredPathWithConsoleLines) {
  ClockSpeedScope fast(20.0);
  test_support::TempFolder dir;
  const Bytes data = PatternImage(2500);
  const std::string path = WriteImage(dir, "Image.BIN", data);
  BootLoaderRig rig;
  ASSERT_TRUE(rig.Start());
  Console console;
  ProgressLog progress;
  FirmwareTransferReport report;
  EXPECT_EQ(SendFirmwareFile(rig.Channel(), path.c_str(), progress.Sink(), &report, console.Stream()), 0);
  rig.FinishLoader();
  EXPECT_EQ(report.step, FirmwareStep::Done);
  EXPECT_EQ(console.Text(), "Sending " + path + "...\n" +
                                "       0 bytes of 2500 -   0%\r"
                                "    1024 bytes of 2500 -  40%\r"
                                "    2048 bytes of 2500 -  81%\r"
                                "    2500 bytes of 2500 - 100%\r"
                                "\nSent OK\n");
  const std::vector<std::pair<WPARAM, LPARAM>> calls = {{1, 2}, {2, 2}, {3, 2}, {4, 2}};
  EXPECT_EQ(progress.calls, calls);
  const auto images = rig.Images();
  ASSERT_EQ(images.size(), 1u);
  // A-Z lowered on the whole path, without its leading slash, as the header carries it.
  ASSERT_EQ(path.front(), '/');
  std::string lowered = path.substr(1);
  for (char& ch : lowered)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  EXPECT_EQ(images[0].name, lowered);
  EXPECT_EQ(images[0].data, data);
}

// A loaded image is one copy: the file may be rewritten after the load and
// the tracker still gets the bytes that were read. A file that changed size
// between its measure and its read is refused instead of cut or padded.
TEST(FirmwareImage, ALoadedImageIsSentFromItsCopyAndOneThatChangedSizeIsRefused) {
  ClockSpeedScope fast(20.0);
  test_support::TempFolder dir;
  const Bytes data = PatternImage(2500);
  const std::string path = WriteImage(dir, "copy.bin", data);
  FirmwareImage image;
  FirmwareTransferReport report;
  ASSERT_TRUE(OpenFirmwareImage(path.c_str(), image, &report));
  ASSERT_TRUE(LoadFirmwareImage(image, &report));
  EXPECT_FALSE(image.file) << "the file stays open after the load";
  WriteImage(dir, "copy.bin", Bytes(2500, 0xEE));
  BootLoaderRig rig;
  ASSERT_TRUE(rig.Start());
  EXPECT_EQ(SendFirmwareImage(rig.Channel(), image, FirmwareObserver{}, &report), 0);
  rig.FinishLoader();
  const auto images = rig.Images();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].data, data);

  for (const std::size_t now : {std::size_t{2000}, std::size_t{3000}}) {
    SCOPED_TRACE(now);
    const std::string changed = WriteImage(dir, "changed.bin", data);
    FirmwareImage measured;
    ASSERT_TRUE(OpenFirmwareImage(changed.c_str(), measured, &report));
    ASSERT_EQ(::truncate(changed.c_str(), static_cast<off_t>(now)), 0);
    EXPECT_FALSE(LoadFirmwareImage(measured, &report));
    EXPECT_EQ(report.step, FirmwareStep::ReadImage);
    EXPECT_EQ(FirmwareFileProblem(report), "it changed size while it was read");
    EXPECT_FALSE(measured.loaded);
  }
}

TEST(FirmwareTransfer, FilesThatCannotBeSentFailBeforeAnythingGoesOut) {
  ClockSpeedScope fast(20.0);
  test_support::TempFolder dir;
  const std::string huge = dir.path() + "/huge.bin";
  {
    const int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t{1} << 31), 0);  // 2 GiB, sparse
    ::close(fd);
  }
  struct Case {
    std::string path;
    FirmwareStep step;
  };
  const std::vector<Case> cases = {
      {dir.path() + "/missing.bin", FirmwareStep::OpenFile},
      {dir.path(), FirmwareStep::OpenFile},
      {huge, FirmwareStep::FileTooLarge},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    BootLoaderRig rig;
    ASSERT_TRUE(rig.Start(true, false));
    FirmwareTransferReport report;
    Console console;
    EXPECT_EQ(RunFirmwareTransfer(rig.Line().PortPath().c_str(), c.path.c_str(), nullptr, &report, console.Stream()),
              1);
    EXPECT_EQ(report.step, c.step);
    EXPECT_EQ(report.code, TRANSFER_SOURCE_FAILED);
    EXPECT_EQ(console.Text(), "");
    rig.StopLoader();
    EXPECT_EQ(rig.Line().BytesReceived(), 0u);
  }
}

TEST(FirmwareTransfer, APortThatIsMissingOrHeldFailsWithItsCode) {
  test_support::TempFolder dir;
  const std::string path = WriteImage(dir, "fw.bin", PatternImage(10));
  FirmwareTransferReport report;
  EXPECT_EQ(RunFirmwareTransfer("/dev/kv770-no-such-port", path.c_str(), nullptr, &report, nullptr), 1);
  EXPECT_EQ(report.step, FirmwareStep::OpenPort);
  EXPECT_EQ(report.code, CHANNEL_NO_SUCH_PORT);

  BootLoaderRig rig;
  ASSERT_TRUE(rig.Start(false, true));  // the rig's channel holds the port
  EXPECT_EQ(RunFirmwareTransfer(rig.Line().PortPath().c_str(), path.c_str(), nullptr, &report, nullptr), 1);
  EXPECT_EQ(report.step, FirmwareStep::OpenPort);
  EXPECT_EQ(report.code, CHANNEL_PORT_BUSY);
  EXPECT_EQ(DescribeFirmwareTransfer("ttyUSB0", report),
            "ttyUSB0: opening the port failed (-102: the port is held by another program)");
}

TEST(FirmwareTransfer, AnUpdateFromTheTrackersMenuDeliversTheImage) {
  ClockSpeedScope fast(10.0);
  test_support::TempFolder dir;
  const Bytes data = PatternImage(7000);
  const std::string path = WriteImage(dir, "new.bin", data);
  sim::SimTracker tracker;
  ASSERT_TRUE(tracker.Start());
  {
    // What the main window does before the update thread starts: "1", the
    // file prompt, and the port closed again.
    SerialChannel menu;
    ASSERT_EQ(menu.Open(tracker.PortPath().c_str()), TRANSFER_OK);
    ASSERT_EQ(menu.Configure(115200), TRANSFER_OK);
    ASSERT_EQ(menu.Write("1", 1, 1000), 1);
    std::string text;
    char buf[256];
    const std::uint64_t giveUpAt = platform::ClockMs() + 3000;
    while (text.find("Waiting for the file to be sent") == std::string::npos && platform::ClockMs() < giveUpAt) {
      const int n = menu.Read(buf, sizeof buf, 100);
      if (n > 0) text.append(buf, static_cast<std::size_t>(n));
    }
    ASSERT_NE(text.find("Waiting for the file to be sent"), std::string::npos);
  }
  ProgressLog progress;
  FirmwareTransferReport report;
  EXPECT_EQ(RunFirmwareTransfer(tracker.PortPath().c_str(), path.c_str(), progress.Sink(), &report, nullptr), 0);
  EXPECT_EQ(report.step, FirmwareStep::Done);
  EXPECT_EQ(progress.calls.size(), 8u);  // ceil(7000 / 1024) + 1
  const auto images = tracker.Images();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].data, data);
  EXPECT_TRUE(images[0].complete);
  tracker.Stop();
}

}  // namespace
