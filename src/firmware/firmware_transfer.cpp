#include "firmware/firmware_transfer.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <new>

#include "firmware/file_transfer_source.h"
#include "firmware/memory_transfer_source.h"
#include "firmware/serial_channel.h"

namespace {

int Finish(FirmwareTransferReport* report, FirmwareStep step, int code) {
  if (report != nullptr) {
    report->step = step;
    report->code = code;
  }
  return step == FirmwareStep::Done ? 0 : 1;
}

// The sender waits at least its own minimum for the first start character;
// a shorter bound would promise a wait that is not kept.
static_assert(FIRMWARE_START_WAIT_MS >= YmodemSender::MIN_START_WAIT_MS,
              "the transfer's start wait is shorter than the sender's minimum");

// Sends an opened image from its file, or a loaded one from its bytes.
int SendImage(CommChannel& channel, FirmwareImage& image, const FirmwareObserver& observer,
              FirmwareTransferReport* report, std::FILE* console) {
  std::unique_ptr<TransferSource> source;
  if (image.loaded) {
    source = std::make_unique<MemoryTransferSource>(image.bytes);
  } else {
    std::rewind(image.file.get());
    source = std::make_unique<FileTransferSource>(image.file.get(), image.size, console);
  }
  YmodemSender sender(&channel);
  sender.SetProgressSink(observer.progress);
  sender.SetPhaseSink(observer.phase);
  const int r =
      sender.SendBatch(image.headerName.c_str(), static_cast<DWORD>(image.size), *source, FIRMWARE_START_WAIT_MS);
  return Finish(report, r == TRANSFER_OK ? FirmwareStep::Done : FirmwareStep::Transfer, r);
}

// Opens portName through a SerialChannel, runs `send` on it and closes it.
template <typename Send>
int OnSerialChannel(const char* portName, FirmwareTransferReport* report, const Send& send) {
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
  const int result = send(*channel);
  channel->Close();
  return result != 0 ? 1 : 0;
}

}  // namespace

int SendFirmwareFile(CommChannel& channel, const char* path, const TransferProgressSink& progress,
                     FirmwareTransferReport* report, std::FILE* console) {
  FirmwareImage image;
  if (!OpenFirmwareImage(path, image, report)) return 1;
  if (console != nullptr) std::fprintf(console, "Sending %s...\n", path);
  if (SendImage(channel, image, FirmwareObserver{progress, {}}, report, console) != 0) return 1;
  if (console != nullptr) {
    std::fprintf(console, "\nSent OK\n");
    std::fflush(console);
  }
  return 0;
}

int RunFirmwareTransfer(const char* portName, const char* path, const TransferProgressSink& progress,
                        FirmwareTransferReport* report, std::FILE* console) {
  return OnSerialChannel(portName, report, [&](CommChannel& channel) {
    return SendFirmwareFile(channel, path, progress, report, console);
  });
}

int SendFirmwareImage(CommChannel& channel, FirmwareImage& image, const FirmwareObserver& observer,
                      FirmwareTransferReport* report) {
  return SendImage(channel, image, observer, report, nullptr);
}

int RunFirmwareTransfer(const char* portName, FirmwareImage& image, const FirmwareObserver& observer,
                        FirmwareTransferReport* report) {
  return OnSerialChannel(portName, report,
                         [&](CommChannel& channel) { return SendImage(channel, image, observer, report, nullptr); });
}

std::string DescribeFirmwareTransfer(const char* portName, const FirmwareTransferReport& report) {
  const char* what = "";
  switch (report.step) {
    case FirmwareStep::OpenPort: what = "opening the port failed"; break;
    case FirmwareStep::ConfigurePort: what = "configuring the port failed"; break;
    case FirmwareStep::OpenFile: what = "the image is not a readable file"; break;
    case FirmwareStep::MeasureFile: what = "the image's size could not be measured"; break;
    case FirmwareStep::FileTooLarge: what = "the image is 2 GiB or larger"; break;
    case FirmwareStep::NameTooLong: what = "the image's path is too long for the header block"; break;
    case FirmwareStep::ReadImage: what = "the image could not be read whole"; break;
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
