#include "serial/reader.h"

#include <cstring>
#include <string_view>

#include "platform/clock.h"
#include "platform/serial_io.h"

char g_rxBuffer[RX_BUFFER_SIZE];

namespace {
const char kFilePrompt[] = "Waiting for the file to be sent";
const char kGetDataOk[] = "Get data OK";
const char kGetDataAck[] = "kv+bd\r\n";
const char kImeiEcho[] = "at+gsn";
// Index of the IMEI's first digit counted from the echo's first character:
// the echo (6), its CR (6), the answer's CR LF (7, 8), the digits from 9.
constexpr DWORD kImeiDigitOffset = 9;
constexpr DWORD kImeiMaxLength = 63;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Tries to take the IMEI behind the echo at `echo`; true when one was shown.
bool TakeImei(std::string_view text, std::size_t echo, ReaderLink& link) {
  const std::size_t digit = echo + kImeiDigitOffset;
  if (digit >= text.size() || !IsDigit(text[digit])) return false;
  for (std::size_t i = digit; i < text.size() && i <= digit + kImeiMaxLength; ++i) {
    if (text[i] == '\r') {
      if (link.onImei) link.onImei(std::string(text.substr(digit, i - digit)));
      return true;
    }
  }
  return true;  // a digit is there but no CR in range: nothing changes
}
}  // namespace

void ReaderLink::SetFileWaitEvent(HANDLE event) {
  std::lock_guard<std::mutex> lock(eventLock_);
  m_hFileWaitEvent = event;
}

void ReaderLink::SignalFileWait() {
  std::lock_guard<std::mutex> lock(eventLock_);
  if (m_hFileWaitEvent) SetEvent(m_hFileWaitEvent);
}

DWORD ParseReaderText(char* text, DWORD length, ReaderLink& link) {
  const std::string_view view(text, length);

  if (view.find(kFilePrompt) != std::string_view::npos) link.SignalFileWait();

  // The first echo whose answer does not start with a digit at index 9 gets
  // one more chance: the next echo, searched from index 7 of the first.
  const std::size_t first = view.find(kImeiEcho);
  if (first != std::string_view::npos) {
    const std::size_t digit = first + kImeiDigitOffset;
    if (digit < view.size() && IsDigit(view[digit])) {
      TakeImei(view, first, link);
    } else {
      const std::size_t second = view.find(kImeiEcho, first + 7);
      if (second != std::string_view::npos) TakeImei(view, second, link);
    }
  }

  if (view.find(kGetDataOk) != std::string_view::npos) {
    DWORD written = 0;
    if (!WriteFile(link.port, kGetDataAck, sizeof kGetDataAck - 1, &written, nullptr)) link.writeFailed = true;
  }

  const std::size_t lastLf = view.rfind('\n');
  if (lastLf == std::string_view::npos) return length;
  return static_cast<DWORD>(length - lastLf - 1);
}

DWORD ReaderThreadProc(void* param) {
  auto* held = static_cast<std::shared_ptr<ReaderLink>*>(param);
  ReaderLink& link = **held;
  HANDLE port = link.port;
  DWORD tail = 0;
  bool lost = false;
  while (link.m_bReaderRunning.load()) {
    if (link.m_bReaderPaused.load()) {
      Sleep(READER_PAUSED_CYCLE_MS);
      continue;
    }
    DWORD errors = 0;
    COMSTAT status{};
    // The queue query fails only for a line that is gone (a hung-up tty, a
    // removed device); so does a read or the parser's own answer.
    if (!ClearCommError(port, &errors, &status) || link.writeFailed.load()) {
      lost = true;
      break;
    }
    if (status.cbInQue != 0) {
      const DWORD count =
          tail + status.cbInQue < RX_BUFFER_SIZE ? status.cbInQue : static_cast<DWORD>(RX_BUFFER_SIZE - 1 - tail);
      DWORD got = 0;
      if (!ReadFile(port, g_rxBuffer + tail, count, &got, nullptr)) {
        lost = true;
        break;
      }
      const DWORD total = tail + got;
      g_rxBuffer[total] = '\0';
      tail = ParseReaderText(g_rxBuffer, total, link);
      std::memmove(g_rxBuffer, g_rxBuffer + (total - tail), tail);
      // A full buffer without a line feed would take in nothing ever again:
      // drop that tail and go on reading.
      if (tail >= RX_BUFFER_SIZE - 1) tail = 0;
    }
    Sleep(READER_CYCLE_MS);
  }
  // Reported only to a reader still wanted: a stop asked for meanwhile wins.
  if (lost && link.m_bReaderRunning.load() && link.onLineLost) link.onLineLost();
  CloseHandle(port);
  delete held;
  return 1;
}

HANDLE StartReaderThread(const std::shared_ptr<ReaderLink>& link, HANDLE port) {
  // The thread reads and answers through its own reference to the port.
  link->port = platform::RetainHandle(port);
  auto* held = new std::shared_ptr<ReaderLink>(link);
  HANDLE thread = CreateThread(nullptr, 0, ReaderThreadProc, held, 0, nullptr);
  if (thread == nullptr) {
    CloseHandle(link->port);
    delete held;
  }
  return thread;
}
