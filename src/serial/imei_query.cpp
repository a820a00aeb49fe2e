#include "serial/imei_query.h"

#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/serial_io.h"
#include "serial/reader.h"
#include "serial/tracker_commands.h"

bool ReadThroughParser(HANDLE port, ReaderLink& link, DWORD boundMs, const std::function<bool()>& done,
                       const std::function<void()>& eachPoll) {
  const auto start = platform::ClockMs();
  std::vector<char> buffer(RX_BUFFER_SIZE);
  DWORD tail = 0;
  while (!done() && platform::ClockMs() - start < boundMs) {
    if (platform::WaitCommReadable(port, PARSER_LOOK_MS) < 0) return false;  // the line went away
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(port, &errors, &status) && status.cbInQue != 0) {
      const DWORD room = static_cast<DWORD>(RX_BUFFER_SIZE - 1 - tail);
      DWORD got = 0;
      ReadFile(port, buffer.data() + tail, status.cbInQue < room ? status.cbInQue : room, &got, nullptr);
      const DWORD total = tail + got;
      buffer[total] = '\0';
      tail = ParseReaderText(buffer.data(), total, link);
      std::memmove(buffer.data(), buffer.data() + (total - tail), tail);
      if (tail >= RX_BUFFER_SIZE - 1) tail = 0;
    }
    if (eachPoll) eachPoll();
  }
  return done();
}

std::optional<std::string> QueryImei(HANDLE port, DWORD boundMs, const std::function<bool()>& stop) {
  ReaderLink link;
  link.port = port;
  std::optional<std::string> imei;
  link.onImei = [&](const std::string& text) { imei = text; };

  WriteTrackerCommand(port, START_MENU_CHOICE);
  WriteTrackerCommand(port, IMEI_QUERY);
  auto lastQuery = platform::ClockMs();
  // Asks again every second while no IMEI is shown, as the main window does.
  ReadThroughParser(
      port, link, boundMs, [&] { return imei.has_value() || (stop && stop()); },
      [&] {
        if (!imei && platform::ClockMs() - lastQuery >= IMEI_POLL_MS) {
          WriteTrackerCommand(port, IMEI_QUERY);
          lastQuery = platform::ClockMs();
        }
      });
  return imei;
}

bool RequestFirmwareDownload(HANDLE port, DWORD promptWaitMs) {
  ReaderLink link;
  link.port = port;
  HANDLE prompt = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  link.SetFileWaitEvent(prompt);
  WriteTrackerCommand(port, UPDATE_MENU_CHOICE);
  const bool seen =
      ReadThroughParser(port, link, promptWaitMs, [&] { return WaitForSingleObject(prompt, 0) == WAIT_OBJECT_0; }, {});
  link.SetFileWaitEvent(nullptr);
  CloseHandle(prompt);
  return seen;
}
