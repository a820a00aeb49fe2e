// The read and the write of the four settings messages, each on a worker
// thread of its own, paced by fixed pauses and bounded reply waits.
#include <cstdio>
#include <memory>
#include <string>

#include "settings/settings_exchange_state.h"

namespace settings {
namespace {

// A text with its "%d" replaced by the message number.
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
    case RESULT_OK: return "Setting Message OK ";
    case RESULT_ERROR: return "Setting Message error ";
    case RESULT_MISMATCH: return "Message writing fail ";
    case RESULT_TIMEOUT: return "Setting Message Time out ";
  }
  return nullptr;
}

// A reply wait that records its result; false when the session was cancelled.
bool AwaitRecorded(ExchangeState& state, DWORD timeoutMs, DWORD& result) {
  result = state.WaitForReply(timeoutMs);
  if (result == ExchangeState::WAIT_CANCELLED) return false;
  RecordResult(state, result);
  return true;
}

// The worker's last act: the session is idle again before anyone hears of it.
void Finish(ExchangeState& state, TransferReport report) {
  state.m_nReplyMode = REPLY_MODE_PLAIN;
  report.lastResult = state.m_nLastResult.load();
  state.m_bWorkerRunning = false;
  state.Notify([&](const ExchangeCallbacks& cb) {
    if (cb.onTransferDone) cb.onTransferDone(report);
  });
}

enum class WriteEnd { Done, Cancelled, RetriesExhausted };

// Deletes, stores and checks the four messages.
WriteEnd WriteMessages(ExchangeState& state) {
  DWORD result = 0;
  for (unsigned n = 1; n <= MESSAGE_COUNT; ++n) {
    ShowStatus(state, STATUS_LINE, Numbered("delete message %d", n));
    state.Send(DeleteCommand(n));
    if (!AwaitRecorded(state, REPLY_WAIT_MS, result)) return WriteEnd::Cancelled;
    state.m_nRxCount = 0;
    if (!state.Pause(DELETE_PAUSE_MS)) return WriteEnd::Cancelled;
  }

  unsigned retries = 0;
  // The first message whose check did not confirm it (ERROR or no reply):
  // the verdict must not call the write good while a message is unconfirmed.
  BYTE firstUnconfirmed = RESULT_OK;
  for (unsigned n = 1; n <= MESSAGE_COUNT;) {
    ShowStatus(state, STATUS_LINE, Numbered("setting message %d", n));
    // Built the way the reader builds it for the check.
    const std::string text = state.ExpectedMessage(n);

    // Once the store command is out, the body and its end mark always
    // follow, so the module is never left waiting for a body.
    state.Send(StoreCommand(n));
    state.Pause(STORE_TEXT_PAUSE_MS);
    state.Send(text);
    state.Pause(STORE_END_PAUSE_MS);
    state.Send(kEndMark);
    if (!AwaitRecorded(state, REPLY_WAIT_MS, result)) return WriteEnd::Cancelled;
    state.m_nRxCount = 0;
    if (!state.Pause(STORE_AFTER_PAUSE_MS)) return WriteEnd::Cancelled;

    ShowStatus(state, STATUS_LINE, Numbered("read message %d", n));
    state.m_nReplyMode = n;
    state.Send(ReadCommand(n));
    const bool waited = state.Pause(CHECK_PAUSE_MS) && AwaitRecorded(state, REPLY_WAIT_MS, result);
    state.m_nRxCount = 0;
    state.m_nReplyMode = REPLY_MODE_PLAIN;
    if (!waited) return WriteEnd::Cancelled;

    if (n == MESSAGE_COUNT) {
      BYTE outcome = state.m_nLastResult.load();
      if (outcome == RESULT_OK) outcome = firstUnconfirmed;
      if (const char* verdict = Verdict(outcome)) ShowStatus(state, STATUS_LINE, verdict);
    }
    if (result == WAIT_OBJECT_0 + 2) {
      // The read-back differs: delete it and write the message again.
      state.Send(DeleteCommand(n));
      if (state.WaitForReply(REPLY_WAIT_MS) == ExchangeState::WAIT_CANCELLED)
        return WriteEnd::Cancelled;
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
    for (unsigned n = 1; n <= MESSAGE_COUNT && !report.cancelled; ++n) {
      state.Send(ReadCommand(n));
      DWORD result = 0;
      report.cancelled =
          !state.Pause(READ_PAUSE_MS) || !AwaitRecorded(state, REPLY_WAIT_MS, result);
    }
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
  Finish(state, report);
  delete held;
  return 1;
}

}  // namespace settings
