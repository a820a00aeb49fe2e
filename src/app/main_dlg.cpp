#include "app/main_dlg.h"

#include "common/tool_texts.h"
#include "common/tool_timings.h"
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "platform/serial_io.h"
#include "serial/open_serial_port.h"
#include "serial/port_items.h"
#include "serial/probe.h"
#include "serial/tracker_commands.h"
#include "ui/message_box.h"

namespace {
std::vector<platform::PortInfo> PresentPorts() { return platform::EnumeratePorts(false); }
}  // namespace

CMainDlg::CMainDlg(PortSource portSource)
    : ui::TemplateDialog(res::MainDialogTemplate()),
      m_reader(std::make_shared<ReaderLink>()),
      m_portBox(*this, IDC_CMB_PORT),
      m_portSource(portSource ? std::move(portSource) : PortSource(PresentPorts)) {}

CMainDlg::~CMainDlg() {
  // A window destroyed without its close handling still lets go of its
  // reader and port. The background waits go first: they use the handles.
  StopBackgroundWork();
  if (m_hReaderThread != nullptr) {
    m_reader->m_bReaderRunning = 0;
    WaitForSingleObject(m_hReaderThread, CLOSE_READER_WAIT_MS);
    CloseHandle(m_hReaderThread);
  }
  if (m_hProbeThread != nullptr) CloseHandle(m_hProbeThread);
  if (m_hFileWaitEvent != nullptr) {
    m_reader->SetFileWaitEvent(nullptr);
    CloseHandle(m_hFileWaitEvent);
  }
  if (m_hPort != INVALID_HANDLE_VALUE) CloseHandle(m_hPort);
}

bool CMainDlg::OnInitDialog() {
  FillPortList();
  if (!m_initialPort.empty()) SelectPort(m_initialPort);
  SetWindowText(MAIN_WINDOW_TITLE);
  WatchDeviceChanges();
  return true;
}

bool CMainDlg::OnCommand(int id) {
  switch (id) {
    case IDC_BTN_SCAN: OnScanComPort(); return true;
    case IDC_BTN_START: OnStart(); return true;
    case IDC_BTN_UPDATE: OnUpdate(); return true;
    case IDC_BTN_SETTING: OnSetting(); return true;
    default: return false;
  }
}

void CMainDlg::OnKillFocus(int id) {
  if (id == IDC_CMB_PORT) m_portBox.Settle();
}

void CMainDlg::FillPortList() {
  for (const std::string& item : TrackerPortItems(m_portSource())) SelectItem(item);
}

void CMainDlg::AddPortItems() {
  for (const std::string& item : TrackerPortItems(m_portSource()))
    if (FindStringExact(IDC_CMB_PORT, item) < 0) AddString(IDC_CMB_PORT, item);
}

bool CMainDlg::SelectPort(const std::string& portName) {
  const std::string item = PortItemText(portName);
  if (item.empty()) return false;
  SelectItem(item);
  return true;
}

void CMainDlg::SelectItem(const std::string& item) {
  // Items are compared whole and case-sensitively; the list is not sorted,
  // so a new item goes to the end.
  int index = FindStringExact(IDC_CMB_PORT, item);
  if (index < 0) index = AddString(IDC_CMB_PORT, item);
  SetCurSel(IDC_CMB_PORT, index);
}

void CMainDlg::OnDeviceChange() {
  // While a port is open (a connection, its probe, an update) the box keeps
  // showing it: the list grows, the selection stays.
  if (m_hPort != INVALID_HANDLE_VALUE || m_bUpdating.load() != 0) {
    AddPortItems();
  } else {
    FillPortList();
  }
  // A removed device fails the queue query at once; the reader would find
  // it only at its next cycle.
  DWORD errors = 0;
  COMSTAT status{};
  if (m_hPort != INVALID_HANDLE_VALUE && !ClearCommError(m_hPort, &errors, &status)) OnTrackerDisconnected();
}

void CMainDlg::OnTrackerDisconnected() { EndLostConnection(true); }

void CMainDlg::EndLostConnection(bool say) {
  if (m_hPort == INVALID_HANDLE_VALUE || m_hFileWaitEvent != nullptr || m_reader->m_bReaderPaused.load() || IsBusy())
    return;
  Disconnect([this, say] {
    // The lost port stays selected: the next Start says at once that it
    // cannot be opened instead of probing another port.
    AddPortItems();
    if (say) ui::ShowMessageBox(Ref(), TRACKER_DISCONNECTED_TEXT, {}, MB_ICONEXCLAMATION);
  });
}

bool CMainDlg::SayWhenNoPort() {
  if (ItemCount(IDC_CMB_PORT) != 0) return false;
  ui::ShowMessageBox(Ref(), NO_TRACKER_PORT_TEXT, {}, MB_ICONEXCLAMATION);
  return true;
}

void CMainDlg::OpenAndProbe(const std::function<void(BOOL)>& then) {
  const int selected = CurSel(IDC_CMB_PORT);
  if (selected != -1) {
    const std::string name = PortNameFromItem(ItemString(IDC_CMB_PORT, selected));
    m_hPort = OpenSerialPort(name.c_str(), MAIN_BAUD_RATE);
  }
  if (m_hPort == INVALID_HANDLE_VALUE) {
    ui::ShowMessageBox(Ref(), OPEN_PORT_FAILED_TEXT, {}, MB_ICONEXCLAMATION);
    then(FALSE);
    return;
  }

  const auto probed = [this, then] {
    if (g_bDeviceFound.load() == 1) {
      then(TRUE);
      return;
    }
    // A probe that ended on a lost line says so rather than "not found".
    const bool lost = platform::CommLineLost(m_hPort);
    ui::ShowMessageBox(Ref(), lost ? TRACKER_DISCONNECTED_TEXT : NO_DEVICE_TEXT, {}, MB_ICONEXCLAMATION);
    CloseHandle(m_hPort);
    m_hPort = INVALID_HANDLE_VALUE;
    then(FALSE);
  };
  g_bDeviceFound = 0;
  m_hProbeThread = StartProbeThread(m_hPort);
  if (m_hProbeThread == nullptr) {
    probed();
    return;
  }
  // The probe runs about 25 s when nothing answers; the window keeps
  // painting meanwhile but takes no input.
  WaitThen(m_hProbeThread, PROBE_WAIT_MS, [this, probed](DWORD) {
    CloseHandle(m_hProbeThread);
    m_hProbeThread = nullptr;
    probed();
  });
}

void CMainDlg::OnStart() {
  m_portBox.Settle();
  SetProgressRange(IDC_PROGRESS, 0, 0);
  if (m_hPort == INVALID_HANDLE_VALUE) {
    Connect();
  } else {
    Disconnect();
  }
}

void CMainDlg::Connect() {
  if (SayWhenNoPort() || CurSel(IDC_CMB_PORT) == -1) return;
  SetItemText(IDC_STC_IMEI, "");
  // Disabling the focused button hands the focus on; it comes back below.
  const bool startHadFocus = ItemHasFocus(IDC_BTN_START);
  EnableItem(IDC_BTN_START, false);
  OpenAndProbe([this, startHadFocus](BOOL found) {
    if (found) {
      m_connectedItem = ItemText(IDC_CMB_PORT);
      EnableItem(IDC_BTN_UPDATE, false);
      EnableItem(IDC_BTN_SCAN, false);
      SetItemText(IDC_BTN_START, STOP_BUTTON_TEXT);

      StartReader();
      WriteTrackerCommand(m_hPort, START_MENU_CHOICE);
      WriteTrackerCommand(m_hPort, IMEI_QUERY);
      m_nTimerId = SetTimer(IMEI_POLL_TIMER_ID, IMEI_POLL_MS);
      m_nImeiTicks = 0;
    }
    EnableItem(IDC_BTN_START, true);
    if (startHadFocus) SetItemFocus(IDC_BTN_START);
  });
}

void CMainDlg::Disconnect(const std::function<void()>& then) {
  StopReader(STOP_READER_WAIT_MS, [this, then] {
    CloseHandle(m_hPort);
    m_hPort = INVALID_HANDLE_VALUE;
    m_connectedItem.clear();
    SetItemText(IDC_BTN_START, START_BUTTON_TEXT);
    EnableItem(IDC_BTN_UPDATE, true);
    EnableItem(IDC_BTN_SETTING, false);
    EnableItem(IDC_BTN_SCAN, true);
    if (m_nTimerId != 0) {
      KillTimer(m_nTimerId);
      m_nTimerId = 0;
    }
    if (then) then();
  });
}

void CMainDlg::StartReader() {
  // A fresh link per reader: a reader that outlived its stop bound keeps its
  // own link and can no longer show an IMEI in this window.
  m_reader = std::make_shared<ReaderLink>();
  const ReaderLink* link = m_reader.get();
  const ui::DialogRef<CMainDlg> window(Ref());
  m_reader->onImei = [window, link](const std::string& imei) {
    window.Post([link, imei](CMainDlg& w) { w.ShowImei(link, imei); });
  };
  m_reader->onLineLost = [window, link] {
    window.Post([link](CMainDlg& w) {
      if (link == w.m_reader.get()) w.OnTrackerDisconnected();
    });
  };
  m_reader->m_bReaderRunning = 1;
  m_reader->m_bReaderPaused = 0;
  m_hReaderThread = StartReaderThread(m_reader, m_hPort);
}

void CMainDlg::StopReader(DWORD waitMs, const std::function<void()>& then) {
  if (m_hReaderThread == nullptr) {
    then();
    return;
  }
  m_reader->m_bReaderRunning = 0;
  WaitThen(m_hReaderThread, waitMs, [this, then](DWORD) {
    CloseHandle(m_hReaderThread);
    m_hReaderThread = nullptr;
    then();
  });
}

void CMainDlg::ShowImei(const ReaderLink* from, const std::string& imei) {
  if (from != m_reader.get()) return;
  SetItemText(IDC_STC_IMEI, imei);
}

void CMainDlg::OnTimer(UINT id) {
  if (id == CLOSE_ASKED_TIMER_ID) {
    CloseAsAsked();
    return;
  }
  if (!ItemText(IDC_STC_IMEI).empty()) {
    if (++m_nImeiTicks >= IMEI_TICKS_BEFORE_SETTING) {
      KillTimer(m_nTimerId);
      m_nTimerId = 0;
      EnableItem(IDC_BTN_SETTING, true);
    }
  } else if (m_hPort != INVALID_HANDLE_VALUE) {
    m_nImeiTicks = 0;
    if (!WriteTrackerCommand(m_hPort, IMEI_QUERY)) OnTrackerDisconnected();
  }
}

LRESULT CMainDlg::OnUpdateProgress(WPARAM wParam, LPARAM lParam) {
  if (wParam == 1) {
    // An image under 2 KiB has a top of 0 or 1, which leaves the range from 1
    // empty; such a bar counts from 0 instead, so that it still ends full.
    const int top = static_cast<int>(lParam);
    if (top < 2) {
      SetProgressRange(IDC_PROGRESS, 0, top + 1);
    } else {
      SetProgressRange(IDC_PROGRESS, 1, top);
    }
  }
  return SetProgressPos(IDC_PROGRESS, static_cast<int>(wParam));
}

std::function<LRESULT(WPARAM, LPARAM)> CMainDlg::ProgressSender() {
  const ui::DialogRef<CMainDlg> window(Ref());
  return [window](WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    window.Send([&](CMainDlg& w) { result = w.OnUpdateProgress(wParam, lParam); });
    return result;
  };
}

void CMainDlg::OnClose() {
  if (IsBusy()) return;  // a wait of Start, Stop or Update is under way
  // A close that reaches the window past its modal dialog (a WM_CLOSE another
  // program posts) waits for the dialog: its transfer uses the window's port.
  if (m_pChildDialog != nullptr) return;
  // While an update runs the window stays: its thread still reports here.
  const auto end = [this] {
    if (m_bUpdating.load() == 0) EndDialog(IDCANCEL);
  };
  if (m_hPort == INVALID_HANDLE_VALUE) {
    end();
    return;
  }
  StopReader(CLOSE_READER_WAIT_MS, [this, end] {
    CloseHandle(m_hPort);
    m_hPort = INVALID_HANDLE_VALUE;
    if (m_nTimerId != 0) {
      KillTimer(m_nTimerId);
      m_nTimerId = 0;
    }
    end();
  });
}

void CMainDlg::OnCloseSignal() {
  if (!m_bCloseAsked) {
    m_bCloseAsked = true;
    SetTimer(CLOSE_ASKED_TIMER_ID, CLOSE_ASKED_RETRY_MS);
  }
  CloseAsAsked();
}

void CMainDlg::CloseAsAsked() {
  // A box or a file dialog is answered first: it may say what a write or an
  // update left on the tracker.
  if (ui::ModalQuestionOpen()) return;
  if (m_pChildDialog != nullptr) {
    m_pChildDialog->RequestClose();
    return;
  }
  OnClose();
}

// Setting, Scan COM Port and Update live in main_dlg_setting.cpp,
// main_dlg_scan.cpp and main_dlg_update.cpp.
