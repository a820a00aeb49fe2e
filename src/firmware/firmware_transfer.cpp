#include "firmware/firmware_transfer.h"

#include <sys/stat.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <new>

#include "firmware/file_transfer_source.h"
#include "firmware/serial_channel.h"

namespace {

int Finish(FirmwareTransferReport* report, FirmwareStep step, int code) {
  if (report != nullptr) {
    report->step = step;
    report->code = code;
  }
  return step == FirmwareStep::Done ? 0 : 1;
}

// True when the open stream is a regular file (fopen also opens folders and
// devices on POSIX, whose "size" says nothing about an image).
bool IsRegularFile(std::FILE* file) {
#ifdef _WIN32
  struct _stat64 st {};
  return _fstat64(_fileno(file), &st) == 0 && (st.st_mode & _S_IFREG) != 0;
#else
  struct stat st {};
  return ::fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

// The file's size by seeking to its end and back; -1 when a seek fails.
std::int64_t MeasureFile(std::FILE* file) {
#ifdef _WIN32
  if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
  const std::int64_t size = _ftelli64(file);
  if (size < 0 || _fseeki64(file, 0, SEEK_SET) != 0) return -1;
#else
  if (::fseeko(file, 0, SEEK_END) != 0) return -1;
  const std::int64_t size = ::ftello(file);
  if (size < 0 || ::fseeko(file, 0, SEEK_SET) != 0) return -1;
#endif
  return size;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

int SendFirmwareFile(CommChannel& channel, const char* path, const TransferProgressSink& progress,
                     FirmwareTransferReport* report, std::FILE* console) {
  std::unique_ptr<std::FILE, FileCloser> file(path ? std::fopen(path, "rb") : nullptr);
  if (!file || !IsRegularFile(file.get()))
    return Finish(report, FirmwareStep::OpenFile, TRANSFER_SOURCE_FAILED);
  const std::int64_t size = MeasureFile(file.get());
  if (size < 0) return Finish(report, FirmwareStep::MeasureFile, TRANSFER_SOURCE_FAILED);
  if (size > std::numeric_limits<std::int32_t>::max())
    return Finish(report, FirmwareStep::FileTooLarge, TRANSFER_SOURCE_FAILED);

  FileTransferSource source(file.get(), static_cast<std::int32_t>(size), console);
  if (console != nullptr) std::fprintf(console, "Sending %s...\n", path);

  YmodemSender sender(&channel);
  sender.SetProgressSink(progress);
  const int r = sender.SendBatch(path, static_cast<DWORD>(size), source, FIRMWARE_START_WAIT_MS);
  if (r != TRANSFER_OK) return Finish(report, FirmwareStep::Transfer, r);
  if (console != nullptr) {
    std::fprintf(console, "\nSent OK\n");
    std::fflush(console);
  }
  return Finish(report, FirmwareStep::Done, TRANSFER_OK);
}

int RunFirmwareTransfer(const char* portName, const char* path,
                        const TransferProgressSink& progress, FirmwareTransferReport* report,
                        std::FILE* console) {
  std::unique_ptr<SerialChannel> channel(new (std::nothrow) SerialChannel);
  if (!channel) return Finish(report, FirmwareStep::OpenPort, CHANNEL_FAILED);
  int r = channel->Open(portName);
  if (r != TRANSFER_OK) return Finish(report, FirmwareStep::OpenPort, r);
  // A port that refuses its settings would only fail later in the start wait;
  // stop here with the reason instead.
  r = channel->Configure(FIRMWARE_BAUD_RATE);
  if (r != TRANSFER_OK) {
    channel->Close();
    return Finish(report, FirmwareStep::ConfigurePort, r);
  }
  const int result = SendFirmwareFile(*channel, path, progress, report, console);
  channel->Close();
  return result != 0 ? 1 : 0;
}

std::string DescribeFirmwareTransfer(const char* portName, const FirmwareTransferReport& report) {
  const char* what = "";
  switch (report.step) {
    case FirmwareStep::OpenPort: what = "opening the port failed"; break;
    case FirmwareStep::ConfigurePort: what = "configuring the port failed"; break;
    case FirmwareStep::OpenFile: what = "the image is not a readable file"; break;
    case FirmwareStep::MeasureFile: what = "the image's size could not be measured"; break;
    case FirmwareStep::FileTooLarge: what = "the image is 2 GiB or larger"; break;
    case FirmwareStep::Transfer: what = "sending the image failed"; break;
    case FirmwareStep::Done: what = "the image was sent"; break;
  }
  std::string text = portName ? portName : "";
  text += ": ";
  text += what;
  if (report.code != TRANSFER_OK) {
    text += " (" + std::to_string(report.code) + ": " + TransferCodeText(report.code) + ")";
  }
  return text;
}
