// Fuzzes the main reader's text parser the way the reader feeds it: a tail
// carried from the previous cycle followed by new bytes, in the 4096-byte
// buffer, NUL-terminated.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "serial/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ReaderLink link;
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  link.SetFileWaitEvent(event);
  std::size_t imeiLength = 0;
  link.onImei = [&](const std::string& imei) { imeiLength = imei.size(); };

  // Feed the input in chunks as reads would deliver it, keeping the tail.
  std::vector<char> buffer(RX_BUFFER_SIZE);
  DWORD tail = 0;
  std::size_t pos = 0;
  while (pos < size) {
    const std::size_t chunk = 1 + (data[pos] % 200);
    const std::size_t room = RX_BUFFER_SIZE - 1 - tail;
    const std::size_t take = std::min({chunk, size - pos, room});
    std::memcpy(buffer.data() + tail, data + pos, take);
    pos += take;
    const DWORD total = tail + static_cast<DWORD>(take);
    buffer[total] = '\0';
    tail = ParseReaderText(buffer.data(), total, link);
    if (tail > total) __builtin_trap();
    if (imeiLength > 63) __builtin_trap();
    std::memmove(buffer.data(), buffer.data() + (total - tail), tail);
    if (tail >= RX_BUFFER_SIZE - 1) tail = 0;
    if (take == 0) break;
  }
  link.SetFileWaitEvent(nullptr);
  CloseHandle(event);
  return 0;
}
