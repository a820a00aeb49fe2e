// The main window: the port list, Scan COM Port, Start/Stop, Setting and
// Update, the IMEI line and the progress bar (template 133). Start opens the
// selected port, probes for a tracker, starts the reader and polls the IMEI
// once a second until it shows; Setting becomes usable five ticks later.
//
// The window is the hub the other windows and the update thread reach: the
// Device Setting dialog borrows m_hPort and pauses the reader through
// m_reader; the port scan reads and sets m_cmbPort; the update thread reports
// progress through ProgressSender() and ends its run on the GUI thread.
//
// Thread contract: every member is used on the GUI thread only, except
// m_reader (shared with the reader thread; its flags are atomics) and
// m_bUpdating (atomic). Workers get a DialogRef to the window (or a callback
// from ProgressSender) and reach it with Post / Send, never through a raw
// pointer. The window never waits for a worker on the GUI thread: the probe,
// the reader's stop and the boot loader's prompt are waited for by
// background work (busy meanwhile: the window paints and takes no input),
// and the handler goes on in a continuation.
//
// The update thread is the one thread that may outlive the window: it runs
// for as long as the transfer takes, and the window refuses to close
// meanwhile. Should the window be destroyed anyway (the program ends), the
// thread keeps its own copies of the port name, path and progress callback,
// and its calls into the window do nothing once the window is gone.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/port_box.h"
#include "common/tool_texts.h"
#include "common/tool_timings.h"
#include "platform/port_enum.h"
#include "serial/imei_query.h"
#include "serial/reader.h"
#include "ui/template_dialog.h"

constexpr UINT IMEI_POLL_TIMER_ID = 1;  // period IMEI_POLL_MS
// While a close asked for by a signal waits for the work under way to end.
constexpr UINT CLOSE_ASKED_TIMER_ID = 2;
constexpr DWORD CLOSE_ASKED_RETRY_MS = 200;
constexpr std::size_t FIRMWARE_PATH_SIZE = 260;
constexpr UINT WM_UPDATE_PROGRESS = WM_USER + 2;

class CMainDlg : public ui::TemplateDialog {
 public:
  // Where FillPortList finds the present ports; EnumeratePorts(false) when empty.
  using PortSource = std::function<std::vector<platform::PortInfo>()>;

  explicit CMainDlg(PortSource portSource = {});
  ~CMainDlg() override;

  // Adds the present tracker ports to the list (never removes one) and
  // selects the last one found.
  void FillPortList();
  // Adds the present ports that are not listed yet; the selection stays.
  void AddPortItems();
  // Selects the item of `portName`, appending it when it is not listed (the
  // command line's --port). False when the name does not fit an item.
  bool SelectPort(const std::string& portName);
  // The port to select once the window has filled its list (SelectPort).
  void PreselectPort(const std::string& portName) { m_initialPort = portName; }

  // Opens the selected port and probes it, busy until the probe ends (at
  // most PROBE_WAIT_MS). then(TRUE) with the port in m_hPort when a tracker
  // answered; then(FALSE) after a message box otherwise, with m_hPort closed.
  void OpenAndProbe(const std::function<void(BOOL)>& then);

  // Starts a reader on m_hPort with a fresh m_reader whose IMEI reaches the
  // IMEI line; stops it (busy until it ends, at most `waitMs`), forgets its
  // thread and calls `then`. Start and the Update hand-off use them.
  void StartReader();
  void StopReader(DWORD waitMs, const std::function<void()>& then);

  // WM_UPDATE_PROGRESS: wParam counts the chunks sent from 1, lParam is the
  // bar's top. Returns the bar's previous position.
  LRESULT OnUpdateProgress(WPARAM wParam, LPARAM lParam);
  // A callback for the update thread that delivers WM_UPDATE_PROGRESS to this
  // window synchronously (ui::Send); it does nothing once the window is gone.
  std::function<LRESULT(WPARAM, LPARAM)> ProgressSender();

  // The update thread (started by OnUpdate once the boot loader waits for a
  // file): the file dialog, the transfer, the result box, the controls given
  // back and m_bUpdating cleared. `param` is its job, allocated by OnUpdate;
  // it reaches this window only through DialogRefs. Returns 1.
  static DWORD UpdateThread(void* param);

  // Fields, named as the rest of the tool knows them.
  std::shared_ptr<ReaderLink> m_reader;  // m_bReaderRunning, m_bReaderPaused, the file-wait event
  HANDLE m_hReaderThread = nullptr;
  char m_szFirmwarePath[FIRMWARE_PATH_SIZE] = {};
  std::atomic<int> m_bUpdating{0};
  HANDLE m_hFileWaitEvent = nullptr;
  HANDLE m_hProbeThread = nullptr;  // while Start's or Update's probe runs
  HANDLE m_hPort = INVALID_HANDLE_VALUE;
  UINT m_nTimerId = 0;
  std::uint32_t m_nImeiTicks = 0;
  ui::TemplateDialog* m_pChildDialog = nullptr;  // the Device Setting or Scan COM Port dialog while it runs
  bool m_bCloseAsked = false;                    // a signal asked the program to close

  void OnStart();
  void OnSetting();
  void OnScanComPort();
  void OnUpdate();
  void OnDeviceChange() override;
  // The connected port went away (the reader saw the line fail, a write
  // failed, or a device change found the line gone): ends the connection as
  // Stop does, refreshes the list and says so. Does nothing without a
  // connection, during the Update hand-off or while the Device Setting dialog
  // has the port (the dialog reports the loss itself; see EndLostConnection),
  // nor while the window is busy (a Stop or close that is under way already
  // ends the connection).
  void OnTrackerDisconnected();
  // OnTrackerDisconnected, with the box only when `say`: a loss the Device
  // Setting dialog has already told the user about is not told twice.
  void EndLostConnection(bool say);
  // A signal (close_signals.h) asks the program to close: the open dialog
  // is closed through its own close handling, then this window through
  // OnClose, each as soon as it lets itself be closed and no box or file
  // dialog is waiting for an answer; until then it is asked again every
  // CLOSE_ASKED_RETRY_MS.
  void OnCloseSignal();

 protected:
  bool OnInitDialog() override;
  void OnTimer(UINT id) override;
  bool OnCommand(int id) override;
  void OnKillFocus(int id) override;
  // The close box, and Enter and Escape: stops the reader, closes the port
  // and ends the window, unless an update runs or one of the window's
  // dialogs is open (the Device Setting dialog works on the window's port).
  void OnClose() override;
  void OnOK() override { OnClose(); }
  void OnCancel() override { OnClose(); }

 private:
  void Connect();
  // Stops the reader, closes the port, gives the controls back, then `then`.
  void Disconnect(const std::function<void()>& then = {});
  // The rest of the Update hand-off once the prompt wait and the reader's
  // stop are over.
  void FinishHandOff(const std::string& portName, bool promptSeen);
  void EnableHandOffControls(bool enable);
  // True (after a message box) when the port list is empty.
  bool SayWhenNoPort();
  // Selects the list item with this text, appending it when missing.
  void SelectItem(const std::string& item);
  void ShowImei(const ReaderLink* from, const std::string& imei);
  void CloseAsAsked();

  PortBox m_portBox;
  std::string m_connectedItem;  // the list item of the open connection
  PortSource m_portSource;
  std::string m_initialPort;
};
