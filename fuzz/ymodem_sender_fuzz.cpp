// Fuzzes the YMODEM sender against a receiver whose every reply comes from
// the fuzz input, on an in-memory channel: any sequence of replies, time-outs
// and short writes must end the batch with a known code, within the retry
// limits, without reading or writing outside the sender's buffers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "firmware/comm_channel.h"
#include "firmware/transfer_source.h"
#include "firmware/ymodem_sender.h"

namespace {

class FuzzedReceiver final : public CommChannel {
 public:
  FuzzedReceiver(const std::uint8_t* data, std::size_t size, int maxWrite)
      : data_(data), size_(size), maxWrite_(maxWrite) {}
  int Open(const char*) override { return TRANSFER_OK; }
  int Configure(DWORD) override { return TRANSFER_OK; }
  int Write(const void* buffer, int count, DWORD) override {
    if (count <= 0) return 0;
    const int n = count < maxWrite_ ? count : maxWrite_;
    written += static_cast<std::size_t>(n);
    std::memcpy(last_, buffer, static_cast<std::size_t>(n) < sizeof last_ ? n : sizeof last_);
    return n;
  }
  // Each call takes one input byte: 0xFE means "nothing came" (a time-out),
  // 0xFD a failed read, anything else is the receiver's reply.
  int Read(void* buffer, int count, DWORD) override {
    if (++reads > 200000) return CHANNEL_READ_FAILED;  // a loop that never ends would show here
    if (pos_ >= size_ || count <= 0) return 0;
    const std::uint8_t b = data_[pos_++];
    if (b == 0xFE) return 0;
    if (b == 0xFD) return CHANNEL_READ_FAILED;
    *static_cast<std::uint8_t*>(buffer) = b;
    return 1;
  }
  void Close() override {}
  std::size_t written = 0;
  long reads = 0;

 private:
  const std::uint8_t* data_;
  std::size_t size_, pos_ = 0;
  int maxWrite_;
  unsigned char last_[1029];
};

class PatternSource final : public TransferSource {
 public:
  PatternSource(int size, int shortBy) : available_(size - shortBy) {}
  int Read(BYTE* buffer, int maxBytes) override {
    const int n = available_ - given_ < maxBytes ? available_ - given_ : maxBytes;
    for (int i = 0; i < n; ++i) buffer[i] = static_cast<BYTE>((given_ + i) * 7);
    given_ += n > 0 ? n : 0;
    return n > 0 ? n : 0;
  }

 private:
  int available_, given_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const int fileSize = (data[0] | (data[1] << 8)) % 6000;
  const int maxWrite = 1 + data[2] * 5;
  const int shortBy = (data[3] & 0x80) ? (data[3] & 0x7F) % (fileSize + 1) : 0;
  FuzzedReceiver receiver(data + 4, size - 4, maxWrite);
  PatternSource source(fileSize, shortBy);
  YmodemSender sender(&receiver);
  int progressCalls = 0;
  sender.SetProgressSink([&](WPARAM, LPARAM) { ++progressCalls; });
  const int code = sender.SendBatch("c:\\fw\\IMAGE.BIN", static_cast<DWORD>(fileSize), source, 30000);
  const bool known = code == TRANSFER_OK || code == CHANNEL_WRITE_FAILED || code == CHANNEL_READ_FAILED ||
                     code == TRANSFER_TIMEOUT || code == TRANSFER_TOO_MANY_RETRIES || code == TRANSFER_SOURCE_FAILED ||
                     code == TRANSFER_UNEXPECTED_REPLY || code == TRANSFER_CANCELLED;
  if (!known) __builtin_trap();
  if (code == TRANSFER_OK && shortBy > 0) __builtin_trap();  // success on a short source
  if (progressCalls > fileSize / 1024 + 2) __builtin_trap();
  return 0;
}
