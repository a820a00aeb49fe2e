// The state of one settings session with one tracker, shared by the
// session's owner (SettingsExchange), its reader thread and its read or
// write worker, and the thread routines and helpers that work on it.
//
// Thread contract: every thread holds the state through a shared_ptr, so it
// lives until the last of them ends. The receive buffer belongs to the
// reader alone. Counters, modes and flags are atomic; the record, the layout
// and the version text are guarded by m_lock. The events carry the hand-over
// from the reader to the worker. Callbacks run on the reader and worker
// threads, one at a time, and never after Detach() returned.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "common/tool_texts.h"
#include "common/tool_timings.h"
#include "platform/sync.h"
#include "settings/device_settings.h"

namespace settings {

constexpr std::size_t SETTINGS_RX_BUFFER_SIZE = 4096;
constexpr std::size_t FIRMWARE_VERSION_LENGTH = 21;
// The longest version answer shown whole; a longer one is garbage on the line.
constexpr std::size_t WHOLE_VERSION_MAX_LENGTH = 64;

// Pauses and time-outs of the exchange: common/tool_timings.h.

// Mismatches since the last good check after which a write gives up.
constexpr unsigned MAX_MISMATCH_RETRIES = 10;

// What an "OK" line means (m_nReplyMode): a plain acknowledgement, the check
// of stored message n (1 to 4), or a read of the settings messages.
constexpr DWORD REPLY_MODE_PLAIN = 0;
constexpr DWORD REPLY_MODE_READ = 5;

// The four message texts as the tracker holds them, without the closing
// carriage return; no value for a message the tracker does not hold.
using MessageTexts = std::array<std::optional<std::string>, MESSAGE_COUNT>;

// Outcome of the last reply wait (m_nLastResult).
constexpr BYTE RESULT_OK = 0;
constexpr BYTE RESULT_ERROR = 1;
constexpr BYTE RESULT_MISMATCH = 2;
constexpr BYTE RESULT_TIMEOUT = 3;
// Not a reply: the port hung up or a read or write on it failed.
constexpr BYTE RESULT_LINE_LOST = 4;

// The status a transfer ends with when the tracker's port is gone (a pulled
// cable, a tracker switched off): the transfer stops at once, nothing more
// is sent. The dialog's status line and the terminal program show it.
using ::TRACKER_DISCONNECTED_TEXT;  // common/tool_texts.h: one text for the window and the transfer

// Selectors of ShowStatus: the status line and the result line.
constexpr int STATUS_LINE = 1;
constexpr int RESULT_LINE = 2;

enum class TransferKind { Read, Write };

struct TransferReport {
  TransferKind kind = TransferKind::Read;
  BYTE lastResult = RESULT_OK;    // m_nLastResult when the transfer ended
  bool cancelled = false;         // stopped early by Cancel()
  bool retriesExhausted = false;  // a write that ended after too many mismatches
  bool lineLost = false;          // ended because the port hung up or failed
  bool unanswered = false;        // a read of which a message got no reply within its wait
};

struct ExchangeCallbacks {
  // ShowStatus: selector STATUS_LINE or RESULT_LINE and the text.
  std::function<void(int selector, const std::string& text)> onStatus;
  // RecordResult: the result it recorded (RESULT_OK .. RESULT_TIMEOUT).
  std::function<void(BYTE result)> onResult;
  // A version answer arrived: the version text and the layout it selects.
  std::function<void(const std::string& version, SettingsLayout layout)> onVersion;
  // A read reply was applied to the record; a copy of the whole record.
  std::function<void(unsigned messageNumber, const DeviceSettings& record)> onMessageApplied;
  // A read or write ended (the worker's last act).
  std::function<void(const TransferReport& report)> onTransferDone;
};

class ExchangeState {
 public:
  ExchangeState(ExchangeCallbacks callbacks, SettingsLayout layout, std::string firmwareVersion);
  ~ExchangeState();
  ExchangeState(const ExchangeState&) = delete;
  ExchangeState& operator=(const ExchangeState&) = delete;

  // The session's own reference to the port (null: nothing is written).
  HANDLE m_hPort = nullptr;

  char m_rxBuffer[SETTINGS_RX_BUFFER_SIZE] = {};  // the reader's alone
  std::atomic<DWORD> m_nRxCount{0};               // a worker stores 0 to drop what is held
  std::atomic<DWORD> m_nReplyMode{REPLY_MODE_PLAIN};
  std::atomic<BYTE> m_nLastResult{RESULT_OK};
  // OK, ERROR and mismatch, in that order; auto-reset.
  HANDLE m_hWaitArray[3] = {};
  HANDLE m_hCancelEvent = nullptr;    // manual-reset; set by Cancel()
  HANDLE m_hLineLostEvent = nullptr;  // manual-reset; set once by MarkLineLost()
  std::atomic<BYTE> m_bReaderRun{0};
  std::atomic<bool> m_bWorkerRunning{false};

  // Guarded record, layout and version. Setting the record forgets the
  // texts of the last read and any texts to write.
  DeviceSettings Record() const;
  void SetRecord(const DeviceSettings& record);
  // A write of these exact texts (each without its closing CR) instead of
  // the texts the record builds; the record stays what Record() returns.
  void SetWriteTexts(const std::array<std::string, MESSAGE_COUNT>& texts);
  // The texts the last read took from the tracker's replies, by the message
  // number of their address tag.
  MessageTexts ReadTexts() const;
  SettingsLayout Layout() const;
  void SetLayout(SettingsLayout layout);
  std::string FirmwareVersion() const;

  // A version answer counts only between BeginVersionQuery and
  // EndVersionQuery: a late one, or a text in a stored message that looks
  // like one, changes nothing. EndVersionQuery returns the version and
  // layout the session holds from then on, and whether an answer came.
  void BeginVersionQuery();
  bool VersionAwaited() const { return m_bVersionAwaited.load(); }
  void EndVersionQuery(std::string& version, SettingsLayout& layout, bool& answered);
  // The reader found a version answer: keep it and switch the layout, if one
  // is awaited. False (nothing changed) otherwise. `whole` is the answer as
  // the tracker sent it, for display; `version` its first 21 characters.
  bool TakeVersion(const std::string& version, SettingsLayout layout, const std::string& whole = {});
  // The last version answer whole (empty before one came).
  std::string WholeVersion() const;
  // Expected text of message n: the text to write with its CR when one was
  // given, else from the record as BuildMessage gives it.
  std::string ExpectedMessage(unsigned messageNumber) const;
  // Applies a read text to the record and reports the new record.
  void ApplyReadMessage(const char* text, unsigned messageNumber, std::size_t count);
  // Keeps the text of a read reply exactly as it came (`text` ends before
  // the closing CR).
  void KeepReadText(unsigned messageNumber, std::string_view text);

  // Writes bytes to the port with one WriteFile; false when nothing could be.
  // A failed write marks the line lost; nothing is written once it is.
  bool Send(std::string_view bytes);
  // Forgets replies that came before the next command (stale or late
  // replies must never answer it). Called just before a command is sent.
  void ClearReplies();
  // Signals reply event `which` (0 OK, 1 ERROR, 2 mismatch) for bytes the
  // reader took while m_nScanGeneration was current; bytes taken before the
  // last ClearReplies signal nothing.
  void SignalReply(int which);
  // The reader's note of the ClearReplies count when it read the bytes it
  // scans (the reader's alone).
  DWORD m_nScanGeneration = 0;
  DWORD ReplyGeneration() const;
  // Waits up to `timeoutMs` on the three events, the cancel event and the
  // line-lost event. Returns 0, 1, 2, WAIT_TIMEOUT, WAIT_CANCELLED or
  // WAIT_LINE_LOST. When several replies are there, a mismatch wins over an
  // ERROR and both win over an OK: a failure never hides behind an OK.
  DWORD WaitForReply(DWORD timeoutMs);
  // Pauses `ms`; false (at once) when the session was cancelled or the line lost.
  bool Pause(DWORD ms);
  // The port hung up or failed: every wait and pause ends, nothing more is sent.
  void MarkLineLost();
  bool LineLost() const { return m_bLineLost.load(); }

  // Runs a callback unless the session was detached; callbacks never overlap.
  template <class Fn>
  void Notify(Fn&& fn) {
    std::lock_guard<std::mutex> gate(m_callbackGate);
    if (!m_bDetached.load()) fn(m_callbacks);
  }
  // No callback runs after this returns true (false: one still ran when
  // `timeoutMs` passed; none starts later either way).
  bool Detach(DWORD timeoutMs);

  static constexpr DWORD WAIT_CANCELLED = WAIT_OBJECT_0 + 3;
  static constexpr DWORD WAIT_LINE_LOST = WAIT_OBJECT_0 + 4;

 private:
  mutable std::mutex m_lock;
  DeviceSettings m_record;
  MessageTexts m_readTexts;
  std::optional<std::array<std::string, MESSAGE_COUNT>> m_writeTexts;
  SettingsLayout m_layout;
  std::string m_firmwareVersion;
  std::string m_wholeVersion;
  std::atomic<bool> m_bVersionAwaited{false};  // changed under m_lock
  bool m_bAnsweredInQuery = false;             // guarded by m_lock
  mutable std::mutex m_replyLock;              // orders ClearReplies and SignalReply
  DWORD m_nReplyGeneration = 0;                // guarded by m_replyLock
  std::atomic<bool> m_bLineLost{false};

  const ExchangeCallbacks m_callbacks;
  std::mutex m_callbackGate;  // held while a callback runs
  std::atomic<bool> m_bDetached{false};
};

// The reader: polls the port (waking early when bytes arrive, at most
// READER_POLL_MS apart), recognises replies and the version answer, and
// marks the line lost when the port hangs up or a read fails.
// `param` is a std::shared_ptr<ExchangeState>* made with new; the thread
// deletes it. Returns 1.
DWORD SettingReaderThreadProc(void* param);

// One look at what the reader holds: `got` bytes just read into m_rxBuffer
// behind `held` earlier ones. Scans the replies, moves what is kept to the
// start of the buffer and picks up a version answer while one is awaited.
// Returns the number of bytes now held (0 when a version answer or a full
// buffer was dropped).
DWORD ProcessReceived(ExchangeState& state, DWORD held, DWORD got);

// Looks at the complete lines of `buffer` (`count` bytes, NUL after them)
// when a "GSMATResp!" marker is among them, signals the events for "OK" and
// "ERROR" lines and checks or applies read replies as m_nReplyMode says.
// Returns how many bytes at the end are kept for the next read: those after
// the last line feed, or from the marker of a reply whose result line has not
// come yet, so that a reply split across reads is still recognised whole.
DWORD ScanReplies(char* buffer, DWORD count, ExchangeState& state);

// Applies the read reply in `buffer` (`count` bytes): the first address tag
// ("\"+1\"" .. "\"+4\"") gives the message number, the text runs from the line
// after the tag to the carriage return before the reply's "OK" line.
void ExtractReadMessage(char* buffer, DWORD count, ExchangeState& state);

// The read and write sequences. `param` as for the reader. Return 1.
DWORD GetDeviceSettingThreadProc(void* param);
DWORD SetToDeviceThreadProc(void* param);

// Records a reply wait's result: 0 OK, 1 ERROR, 2 mismatch, WAIT_TIMEOUT
// time-out; "OK" and "ERROR" also go to the result line. Other values change
// nothing.
void RecordResult(ExchangeState& state, DWORD waitResult);

// Selector STATUS_LINE or RESULT_LINE with its text; other selectors do nothing.
void ShowStatus(ExchangeState& state, int selector, const std::string& text);

}  // namespace settings
