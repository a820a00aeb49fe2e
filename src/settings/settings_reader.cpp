// The settings session's reader: takes what the tracker sends, recognises
// the GSM module's result lines behind the "GSMATResp!" marker, checks and
// applies read-back messages, and picks up the firmware version answer.
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/clock.h"
#include "platform/serial_io.h"
#include "settings/settings_exchange_state.h"

namespace settings {
namespace {

constexpr std::string_view kMarker = "GSMATResp!";
constexpr std::string_view kOkLine = "OK\r\n";
constexpr std::string_view kErrorLine = "ERROR\r\n";
constexpr std::string_view kVersionStart = "F-0KV";
constexpr std::string_view kTags[MESSAGE_COUNT] = {"\"+1\"", "\"+2\"", "\"+3\"", "\"+4\""};
// From a tag's first quote to its text: the tag (4), a comma and CR LF.
constexpr std::size_t kTagToText = 7;
// From the comma after the tag to the text: the comma and CR LF.
constexpr std::size_t kCommaToText = 3;
// From the text's closing CR to the "OK" of the reply: CR, CR LF, CR LF.
constexpr std::size_t kTextEndToOk = 5;

// Signals the event of an accepted line: 0 OK, 1 ERROR, 2 mismatch.
void Signal(ExchangeState& state, int which) { state.SignalReply(which); }

// The "OK" line that ends a read reply: the first line from `from` onwards
// that is exactly "OK\r\n". A text cannot hold a line feed, so an "OK" inside
// the text is never taken for it.
std::size_t FindOkLine(std::string_view text, std::size_t from) {
  for (std::size_t at = text.find(kOkLine, from); at != std::string_view::npos; at = text.find(kOkLine, at + 1)) {
    if (at > 0 && text[at - 1] == '\n') return at;
  }
  return std::string_view::npos;
}

// Checks the read-back of stored message n against the record.
void CheckStoredMessage(std::string_view text, unsigned n, ExchangeState& state) {
  const std::string expected = state.ExpectedMessage(n);
  const std::size_t tag = text.find(kTags[n - 1]);
  const bool found = tag != std::string_view::npos && tag + kTagToText <= text.size() &&
                     text.find(expected, tag + kTagToText) != std::string_view::npos;
  Signal(state, found ? 0 : 2);
}

// Takes the version text from a version answer held in `text`; true when one
// was there and a version answer was awaited.
bool TakeVersionAnswer(std::string_view text, ExchangeState& state) {
  const std::size_t start = text.find(kVersionStart);
  if (start == std::string_view::npos) return false;
  std::string_view version = text.substr(start);
  const std::size_t close = version.find(')');
  version = version.substr(0, std::min(close, version.find('\0')));
  // Shown whole, with its ")" when it has one; only the first 21 characters
  // are kept as the version and decide the layout.
  const std::string whole(close != std::string_view::npos && close == version.size()
                              ? text.substr(start, close + 1).substr(0, WHOLE_VERSION_MAX_LENGTH)
                              : version.substr(0, WHOLE_VERSION_MAX_LENGTH));
  version = version.substr(0, FIRMWARE_VERSION_LENGTH);
  const SettingsLayout layout =
      version.find('Q') == std::string_view::npos ? SettingsLayout::Extended : SettingsLayout::Basic;
  return state.TakeVersion(std::string(version), layout, whole);
}

}  // namespace

DWORD ScanReplies(char* buffer, DWORD count, ExchangeState& state) {
  const std::string_view text(buffer, count);
  if (text.find(kMarker) == std::string_view::npos) return count;

  std::size_t lineStart = 0;
  std::size_t afterResult = 0;  // end of the last accepted result line
  for (std::size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', lineStart)) {
    const std::string_view line = text.substr(lineStart, lf + 1 - lineStart);
    lineStart = lf + 1;
    if (line == kOkLine) {
      const DWORD mode = state.m_nReplyMode.load();
      if (mode >= 1 && mode <= MESSAGE_COUNT) {
        CheckStoredMessage(text, mode, state);
      } else if (mode == REPLY_MODE_READ) {
        ExtractReadMessage(buffer, count, state);
        Signal(state, 0);
      } else {
        Signal(state, 0);
      }
      afterResult = lineStart;
    } else if (line == kErrorLine) {
      Signal(state, 1);
      afterResult = lineStart;
    }
  }
  if (lineStart == 0) return count;  // no line feed at all

  // Keep the unfinished tail; a reply whose marker came after the last result
  // line is kept from its marker, so its lines are looked at again, whole,
  // when the rest arrives.
  std::size_t keepFrom = lineStart;
  const std::size_t marker = text.find(kMarker, afterResult);
  if (marker != std::string_view::npos && marker < keepFrom) keepFrom = marker;
  return static_cast<DWORD>(count - keepFrom);
}

void ExtractReadMessage(char* buffer, DWORD count, ExchangeState& state) {
  const std::string_view text(buffer, count);
  // The reply's own tag is the first one in the buffer; a tag-like text
  // inside the message comes after it.
  std::size_t tag = std::string_view::npos;
  unsigned number = 0;
  for (unsigned n = 1; n <= MESSAGE_COUNT; ++n) {
    const std::size_t at = text.find(kTags[n - 1]);
    if (at < tag) {
      tag = at;
      number = n;
    }
  }
  if (number == 0) return;

  const std::size_t ok = FindOkLine(text, tag);
  // An "OK" too close to the start leaves no room for the text's end: the
  // buffer is left alone.
  if (ok == std::string_view::npos || ok < kTextEndToOk) return;
  buffer[ok - kTextEndToOk] = '\0';

  const std::size_t comma = text.find(',', tag);
  if (comma == std::string_view::npos) return;
  const std::size_t start = comma + kCommaToText;
  if (start > count) return;
  const std::size_t end = ok - kTextEndToOk;
  if (start <= end) state.KeepReadText(number, text.substr(start, end - start));
  state.ApplyReadMessage(buffer + start, number, count - start);
}

DWORD ProcessReceived(ExchangeState& state, DWORD held, DWORD got) {
  char* const buffer = state.m_rxBuffer;
  const DWORD total = held + got;
  buffer[total] = '\0';

  DWORD tail = ScanReplies(buffer, total, state);
  std::memmove(buffer, buffer + (total - tail), tail);
  // A full buffer that holds no line the reader can use would take in
  // nothing ever again: drop it and go on reading.
  if (tail >= SETTINGS_RX_BUFFER_SIZE - 1) tail = 0;

  // The version answer carries no marker; the scanned bytes are looked at
  // as well (the move above leaves them behind the tail). Only while the
  // answer is awaited: at other times "F-0KV" is a value inside a reply (a
  // user name), and taking it would drop that reply and switch the layout.
  if (tail != 0 && state.VersionAwaited() && TakeVersionAnswer(std::string_view(buffer, total), state)) tail = 0;
  return tail;
}

DWORD SettingReaderThreadProc(void* param) {
  auto* held = static_cast<std::shared_ptr<ExchangeState>*>(param);
  ExchangeState& state = **held;
  state.m_nRxCount = 0;
  state.m_nReplyMode = REPLY_MODE_PLAIN;

  while (state.m_bReaderRun.load()) {
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(state.m_hPort, &errors, &status) && status.cbInQue != 0) {
      // Replies in these bytes answer only the command sent last before them.
      state.m_nScanGeneration = state.ReplyGeneration();
      const DWORD heldCount = state.m_nRxCount.load();
      const DWORD room = static_cast<DWORD>(SETTINGS_RX_BUFFER_SIZE - 1 - heldCount);
      DWORD got = 0;
      if (!ReadFile(state.m_hPort, state.m_rxBuffer + heldCount, std::min(status.cbInQue, room), &got, nullptr))
        state.MarkLineLost();
      const DWORD kept = ProcessReceived(state, heldCount, got);
      // A worker that dropped the buffer meanwhile wins.
      DWORD expected = heldCount;
      state.m_nRxCount.compare_exchange_strong(expected, kept);
    }
    // Wake as soon as the tracker sends, but look at least every poll period.
    if (platform::WaitCommReadable(state.m_hPort, READER_POLL_MS) < 0) {
      // A port that hung up (cable pulled, tracker gone) never answers again.
      if (platform::CommLineLost(state.m_hPort)) state.MarkLineLost();
      Sleep(READER_POLL_MS);
    }
  }
  delete held;
  return 1;
}

}  // namespace settings
