#include "serial/imei_query.h"

#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/serial_io.h"
#include "serial/reader.h"

namespace {
void WriteText(HANDLE port, const char* text) {
  DWORD written = 0;
  WriteFile(port, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}
}  // namespace

std::optional<std::string> QueryImei(HANDLE port, DWORD boundMs) {
  ReaderLink link;
  link.port = port;
  std::optional<std::string> imei;
  link.onImei = [&](const std::string& text) { imei = text; };

  WriteText(port, "2");
  WriteText(port, "at+gsn\r");
  const auto start = platform::ClockMs();
  auto lastQuery = start;
  std::vector<char> buffer(RX_BUFFER_SIZE);
  DWORD tail = 0;
  while (!imei && platform::ClockMs() - start < boundMs) {
    if (platform::WaitCommReadable(port, 100) < 0) break;  // the line went away
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(port, &errors, &status) && status.cbInQue != 0) {
      const DWORD room = static_cast<DWORD>(RX_BUFFER_SIZE - 1 - tail);
      DWORD got = 0;
      ReadFile(port, buffer.data() + tail, status.cbInQue < room ? status.cbInQue : room, &got,
               nullptr);
      const DWORD total = tail + got;
      buffer[total] = '\0';
      tail = ParseReaderText(buffer.data(), total, link);
      std::memmove(buffer.data(), buffer.data() + (total - tail), tail);
      if (tail >= RX_BUFFER_SIZE - 1) tail = 0;
    }
    if (!imei && platform::ClockMs() - lastQuery >= IMEI_POLL_MS) {
      WriteText(port, "at+gsn\r");
      lastQuery = platform::ClockMs();
    }
  }
  return imei;
}
