// The read and the write of the four settings messages, each on a worker
// thread of its own, paced by fixed pauses and bounded reply waits.
#include <cstdio>
#include <memory>
#include <string>

#include "settings/settings_exchange_state.h"

namespace settings {
namespace {

// A command with its "%d" replaced by the message number.
std::string Numbered(const char* format, unsigned n) {
  char text[64];
  std::snprintf(text, sizeof text, format, static_cast<int>(n));
  return text;
}

std::string DeleteCommand(unsigned n) { return Numbered("at+cmgd=%d\r", n); }
std::string StoreCommand(unsigned n) { return Numbered("at+cmgw=+%d\r", n); }
std::string ReadCommand(unsigned n) { return Numbered("at+cmgr=%d\r", n); }
constexpr char kEndMark[] = "\x1a\r";

const char* Verdict(BYTE lastResult) {
  switch (lastResult) {
    case RESULT_OK: return SETTING_MESSAGE_OK_TEXT;
    case RESULT_ERROR: return SETTING_MESSAGE_ERROR_TEXT;
    case RESULT_MISMATCH: return MESSAGE_WRITING_FAIL_TEXT;
    case RESULT_TIMEOUT: return SETTING_MESSAGE_TIMEOUT_TEXT;
  }
  return nullptr;
}

// Sends one command after forgetting every earlier reply, so that only a
// reply that comes after it can answer it. False when the line is lost.
bool SendCommand(ExchangeState& state, const std::string& command) {
  // The held bytes go first: whatever the reader scans after the clear is new.
  state.m_nRxCount = 0;  // an unfinished reply held now belongs to an earlier command
  state.ClearReplies();
  return state.Send(command);
}

// How a step ended when it did not simply go on.
enum class Stop { None, Cancelled, LineLost };

Stop StopReason(const ExchangeState& state) { return state.LineLost() ? Stop::LineLost : Stop::Cancelled; }

// A reply wait that records its result; Stop::None when the step went on.
Stop AwaitRecorded(ExchangeState& state, DWORD timeoutMs, DWORD& result) {
  result = state.WaitForReply(timeoutMs);
  if (result == ExchangeState::WAIT_LINE_LOST) return Stop::LineLost;
  if (result == ExchangeState::WAIT_CANCELLED) return Stop::Cancelled;
  RecordResult(state, result);
  return Stop::None;
}

// A pause; Stop::None when it ran its length.
Stop PauseFor(ExchangeState& state, DWORD ms) { return state.Pause(ms) ? Stop::None : StopReason(state); }

// The worker's last act: the session is idle again before anyone hears of it.
void Finish(ExchangeState& state, TransferReport report) {
  state.m_nReplyMode = REPLY_MODE_PLAIN;
  if (report.lineLost) {
    // Whatever was recorded before, this transfer did not finish.
    state.m_nLastResult = RESULT_LINE_LOST;
    ShowStatus(state, STATUS_LINE, TRACKER_DISCONNECTED_TEXT);
  }
  report.lastResult = state.m_nLastResult.load();
  state.m_bWorkerRunning = false;
  state.Notify([&](const ExchangeCallbacks& cb) {
    if (cb.onTransferDone) cb.onTransferDone(report);
  });
}

enum class WriteEnd { Done, Cancelled, RetriesExhausted, LineLost };

WriteEnd EndOf(Stop stop) { return stop == Stop::LineLost ? WriteEnd::LineLost : WriteEnd::Cancelled; }

// Deletes, stores and checks the four messages.
WriteEnd WriteMessages(ExchangeState& state) {
  DWORD result = 0;
  Stop stop = Stop::None;
  for (unsigned n = 1; n <= MESSAGE_COUNT; ++n) {
    ShowStatus(state, STATUS_LINE, DELETE_MESSAGE_STATUS + std::to_string(n));
    if (!SendCommand(state, DeleteCommand(n))) return WriteEnd::LineLost;
    if ((stop = AwaitRecorded(state, REPLY_WAIT_MS, result)) != Stop::None) return EndOf(stop);
    state.m_nRxCount = 0;
    if ((stop = PauseFor(state, DELETE_PAUSE_MS)) != Stop::None) return EndOf(stop);
  }

  unsigned retries = 0;
  // The first message whose check did not confirm it (ERROR or no reply):
  // the verdict must not call the write good while a message is unconfirmed.
  BYTE firstUnconfirmed = RESULT_OK;
  for (unsigned n = 1; n <= MESSAGE_COUNT;) {
    ShowStatus(state, STATUS_LINE, SETTING_MESSAGE_STATUS + std::to_string(n));
    // Built the way the reader builds it for the check.
    const std::string text = state.ExpectedMessage(n);

    // Once the store command is out, the body and its end mark always
    // follow, so the module is never left waiting for a body - unless the
    // line is gone, when nothing more is sent.
    if (!SendCommand(state, StoreCommand(n))) return WriteEnd::LineLost;
    if (PauseFor(state, STORE_TEXT_PAUSE_MS) == Stop::LineLost || !state.Send(text)) return WriteEnd::LineLost;
    if (PauseFor(state, STORE_END_PAUSE_MS) == Stop::LineLost || !state.Send(kEndMark)) return WriteEnd::LineLost;
    if ((stop = AwaitRecorded(state, REPLY_WAIT_MS, result)) != Stop::None) return EndOf(stop);
    state.m_nRxCount = 0;
    if ((stop = PauseFor(state, STORE_AFTER_PAUSE_MS)) != Stop::None) return EndOf(stop);

    ShowStatus(state, STATUS_LINE, READ_MESSAGE_STATUS + std::to_string(n));
    // Replies to the store (a late "OK") are forgotten before the check
    // starts: only the read-back may confirm the message.
    state.m_nRxCount = 0;
    state.ClearReplies();
    state.m_nReplyMode = n;
    if (!state.Send(ReadCommand(n))) return WriteEnd::LineLost;
    stop = PauseFor(state, CHECK_PAUSE_MS);
    if (stop == Stop::None) stop = AwaitRecorded(state, REPLY_WAIT_MS, result);
    state.m_nRxCount = 0;
    state.m_nReplyMode = REPLY_MODE_PLAIN;
    if (stop != Stop::None) return EndOf(stop);

    if (n == MESSAGE_COUNT) {
      BYTE outcome = state.m_nLastResult.load();
      if (outcome == RESULT_OK) outcome = firstUnconfirmed;
      if (const char* verdict = Verdict(outcome)) ShowStatus(state, STATUS_LINE, verdict);
    }
    if (result == WAIT_OBJECT_0 + 2) {
      // The read-back differs: delete it and write the message again.
      if (!SendCommand(state, DeleteCommand(n))) return WriteEnd::LineLost;
      const DWORD deleted = state.WaitForReply(REPLY_WAIT_MS);
      if (deleted == ExchangeState::WAIT_LINE_LOST) return WriteEnd::LineLost;
      if (deleted == ExchangeState::WAIT_CANCELLED) return WriteEnd::Cancelled;
      state.m_nRxCount = 0;
      if (++retries > MAX_MISMATCH_RETRIES) {
        // The write ends here: say so instead of leaving "read message n".
        ShowStatus(state, STATUS_LINE, Verdict(RESULT_MISMATCH));
        return WriteEnd::RetriesExhausted;
      }
      continue;
    }
    if (result == WAIT_OBJECT_0) retries = 0;
    else if (firstUnconfirmed == RESULT_OK) firstUnconfirmed = state.m_nLastResult.load();
    ++n;
  }
  return WriteEnd::Done;
}

}  // namespace

DWORD GetDeviceSettingThreadProc(void* param) {
  auto* held = static_cast<std::shared_ptr<ExchangeState>*>(param);
  ExchangeState& state = **held;
  TransferReport report{TransferKind::Read};
  state.m_nReplyMode = REPLY_MODE_READ;
  if (state.m_hPort != nullptr) {
    Stop stop = Stop::None;
    for (unsigned n = 1; n <= MESSAGE_COUNT && stop == Stop::None; ++n) {
      if (!SendCommand(state, ReadCommand(n))) {
        stop = Stop::LineLost;
        break;
      }
      DWORD result = 0;
      stop = PauseFor(state, READ_PAUSE_MS);
      if (stop == Stop::None) stop = AwaitRecorded(state, REPLY_WAIT_MS, result);
      if (stop == Stop::None && result != WAIT_OBJECT_0) report.unanswered = true;
    }
    report.cancelled = stop == Stop::Cancelled;
    report.lineLost = stop == Stop::LineLost;
  }
  Finish(state, report);
  delete held;
  return 1;
}

DWORD SetToDeviceThreadProc(void* param) {
  auto* held = static_cast<std::shared_ptr<ExchangeState>*>(param);
  ExchangeState& state = **held;
  TransferReport report{TransferKind::Write};
  const WriteEnd end = WriteMessages(state);
  report.cancelled = end == WriteEnd::Cancelled;
  report.retriesExhausted = end == WriteEnd::RetriesExhausted;
  report.lineLost = end == WriteEnd::LineLost;
  Finish(state, report);
  delete held;
  return 1;
}

}  // namespace settings
