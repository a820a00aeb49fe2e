// One settings session with one tracker: the firmware version query, the
// text mode command, and the read and write of the four settings messages,
// on a port that the caller opened. The Device Setting dialog is a view over
// it; the terminal program drives the same engine, one per tracker.
//
// Typical use:
//   SettingsExchange exchange({callbacks, layout, version});
//   exchange.Start(port);                 // the reader runs from here on
//   VersionAnswer v = exchange.QueryVersion();
//   exchange.SetTextMode();
//   exchange.StartRead(base);             // ... onTransferDone
//   exchange.StartWrite(record, &problems);  // refused: nothing was sent
//   exchange.Stop();                      // also done by the destructor
//
// Thread contract: the owner calls the members from one thread at a time
// (the Device Setting dialog hands the session to its background work for
// the opening's and the close's waits, and meanwhile calls only the members
// any thread may call). Cancel, IsBusy, Layout, FirmwareVersion, Record and
// LastResult may be called from any thread. Callbacks run on the session's
// reader and worker threads, and on the owner's thread inside QueryVersion
// and SetTextMode; they must return quickly (post, never block on the owner)
// and must not call Stop or WaitIdle. After Stop returns no callback runs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "settings/settings_check.h"
#include "settings/settings_exchange_state.h"

namespace settings {

struct ExchangeOptions {
  ExchangeCallbacks callbacks;
  // The layout and version text to assume until the tracker reports its own.
  SettingsLayout layout = SettingsLayout::Extended;
  std::string firmwareVersion;
};

struct VersionAnswer {
  std::string text;       // the version the session holds (may be the assumed one)
  SettingsLayout layout;  // the layout the session now uses
  bool answered = false;  // a version answer arrived during this query
  std::string whole;      // that answer as sent (its ")" included), for display
};

enum class StartResult {
  Started,
  Busy,        // a read or write is running
  NotStarted,  // Start was not called (or failed), or the session was stopped
  Refused,     // the record cannot be written as it is; nothing was sent
};

class SettingsExchange {
 public:
  explicit SettingsExchange(ExchangeOptions options = {});
  ~SettingsExchange();
  SettingsExchange(const SettingsExchange&) = delete;
  SettingsExchange& operator=(const SettingsExchange&) = delete;

  // Starts the reader on `port`, through the session's own reference to it
  // (the caller may close its handle whenever it likes). False when the port
  // is invalid or the session already started.
  bool Start(HANDLE port);

  // Writes "kv+fwv\r", waits up to 2000 ms for a reply event (not recorded),
  // pauses 500 ms and takes the version the reader holds. Only an answer
  // that arrives within these 2.5 s counts: a later one changes neither the
  // version nor the layout, so the owner's layout and the session's agree.
  VersionAnswer QueryVersion();
  // Writes "at+cmgf=1\r", waits up to 5000 ms and records the result.
  // Returns the wait result (0, 1, 2, WAIT_TIMEOUT), or WAIT_FAILED when the
  // session is not started or busy (nothing is sent then) or the line is lost.
  DWORD SetTextMode();

  // Reads the four messages into a copy of `base`; each applied reply is
  // reported through onMessageApplied, the end through onTransferDone.
  StartResult StartRead(const DeviceSettings& base);
  // Writes `record` in the session's layout. Refused, before anything is
  // sent, when the record fails CheckForDevice; `problems` then holds why.
  StartResult StartWrite(const DeviceSettings& record, std::vector<SettingsProblem>* problems = nullptr);

  // Writes the exact `texts` (each without its closing CR), checked on
  // read-back as they are; `record` is checked as by StartWrite and is the
  // record the session holds afterwards. The caller makes sure the texts
  // are those of the record (a restore of a backup).
  StartResult StartWriteTexts(const DeviceSettings& record, const std::array<std::string, MESSAGE_COUNT>& texts,
                              std::vector<SettingsProblem>* problems = nullptr);
  // The texts of the last read, as the tracker sent them.
  MessageTexts ReadTexts() const { return m_state->ReadTexts(); }

  // Ends a running read or write at its next step (a store command already
  // sent still gets its text and end mark). Any thread.
  void Cancel();
  // Waits up to `timeoutMs` until no read or write runs; true when idle.
  bool WaitIdle(DWORD timeoutMs);
  // Cancels any transfer, stops the reader (each waited for at most
  // READER_STOP_WAIT_MS) and silences the callbacks. True when every thread
  // ended within its bound; threads that did not still hold the shared state,
  // so nothing they touch goes away under them.
  bool Stop();

  bool IsStarted() const { return m_hReaderThread != nullptr; }
  bool IsBusy() const { return m_state->m_bWorkerRunning.load(); }
  SettingsLayout Layout() const { return m_state->Layout(); }
  // Sets the layout for the next transfers (refused while busy).
  bool SetLayout(SettingsLayout layout);
  std::string FirmwareVersion() const { return m_state->FirmwareVersion(); }
  // The record of the last read (as far as it got) or write.
  DeviceSettings Record() const { return m_state->Record(); }
  BYTE LastResult() const { return m_state->m_nLastResult.load(); }
  // The tracker's port hung up or failed: transfers end at once with
  // TRACKER_DISCONNECTED_TEXT and nothing more is sent in this session.
  bool LineLost() const { return m_state->LineLost(); }

 private:
  StartResult StartWorker(LPTHREAD_START_ROUTINE routine);
  // Both writes: the check, then the record and, for an exact write, its texts.
  StartResult StartCheckedWrite(const DeviceSettings& record, const std::array<std::string, MESSAGE_COUNT>* texts,
                                std::vector<SettingsProblem>* problems);

  std::shared_ptr<ExchangeState> m_state;
  HANDLE m_hReaderThread = nullptr;
  HANDLE m_hWorkerThread = nullptr;
  bool m_bStopped = false;
};

// The version text the Device Setting dialog shows, kept from one opening
// to the next (21 characters and a NUL; empty at program start). The dialog
// alone uses it, on the GUI thread, together with extendedFirmware.
extern char firmwareVersion[FIRMWARE_VERSION_LENGTH + 1];

// The whole version text of the last answer, as the dialog shows it (the
// same life as firmwareVersion).
extern std::string firmwareVersionWhole;

// Keeps a fresh version answer in firmwareVersion, firmwareVersionWhole and
// extendedFirmware; an unanswered query leaves them as they were.
void RememberFirmware(const VersionAnswer& answer);

}  // namespace settings
