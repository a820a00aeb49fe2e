#include "app/main_dlg.h"

#include "common/tool_texts.h"
#include "common/tool_timings.h"
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "serial/open_serial_port.h"
#include "serial/port_items.h"
#include "serial/probe.h"
#include "serial/tracker_commands.h"
#include "ui/gui_call.h"
#include "ui/message_box.h"
#include "ui/pumped_wait.h"
#include "ui/text.h"

namespace {
std::vector<platform::PortInfo> PresentPorts() { return platform::EnumeratePorts(false); }
}  // namespace

CMainDlg::CMainDlg(PortSource portSource)
    : ui::TemplateDialog(res::MainDialogTemplate()),
      m_reader(std::make_shared<ReaderLink>()),
      m_portSource(portSource ? std::move(portSource) : PortSource(PresentPorts)) {
  m_btnSetting = ControlAs<QPushButton>(IDC_BTN_SETTING);
  m_btnUpdate = ControlAs<QPushButton>(IDC_BTN_UPDATE);
  m_btnScan = ControlAs<QPushButton>(IDC_BTN_SCAN);
  m_btnStart = ControlAs<QPushButton>(IDC_BTN_START);
  m_progress = ControlAs<ui::ProgressCtrl>(IDC_PROGRESS);
  m_stcImei = ControlAs<QLabel>(IDC_STC_IMEI);
  m_cmbPort = ControlAs<QComboBox>(IDC_CMB_PORT);
  m_portBox = new PortBox(m_cmbPort);

  connect(m_btnScan, &QPushButton::clicked, this, &CMainDlg::OnScanComPort);
  connect(m_btnStart, &QPushButton::clicked, this, &CMainDlg::OnStart);
  connect(m_btnUpdate, &QPushButton::clicked, this, &CMainDlg::OnUpdate);
  connect(m_btnSetting, &QPushButton::clicked, this, &CMainDlg::OnSetting);
}

CMainDlg::~CMainDlg() {
  // A window destroyed without its close handling still lets go of its
  // reader and port. No pumped wait here: nothing may call into a window
  // that is being destroyed.
  if (m_hReaderThread != nullptr) {
    m_reader->m_bReaderRunning = 0;
    WaitForSingleObject(m_hReaderThread, CLOSE_READER_WAIT_MS);
    CloseHandle(m_hReaderThread);
  }
  if (m_hPort != INVALID_HANDLE_VALUE) CloseHandle(m_hPort);
}

bool CMainDlg::OnInitDialog() {
  FillPortList();
  if (!m_initialPort.empty()) SelectPort(m_initialPort);
  setWindowTitle(ui::ToQt(MAIN_WINDOW_TITLE));

  m_deviceMonitor = std::make_unique<platform::DeviceChangeMonitor>();
  if (m_deviceMonitor->IsWatching()) {
    platform::DeviceChangeMonitor* monitor = m_deviceMonitor.get();
    m_deviceNotifier = std::make_unique<ui::DeviceChangeNotifier>(
        monitor->Descriptor(), [monitor] { return monitor->Drain(); }, [this] { OnDeviceChange(); });
  }
  return true;
}

void CMainDlg::FillPortList() {
  for (const std::string& item : TrackerPortItems(m_portSource())) SelectItem(item);
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
  const QString text = ui::ToQt(item);
  int index = m_cmbPort->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (index < 0) {
    m_cmbPort->addItem(text);
    index = m_cmbPort->count() - 1;
  }
  m_cmbPort->setCurrentIndex(index);
}

void CMainDlg::OnDeviceChange() {
  FillPortList();
  // A removed device fails the queue query at once; the reader would find
  // it only at its next cycle.
  DWORD errors = 0;
  COMSTAT status{};
  if (m_hPort != INVALID_HANDLE_VALUE && !ClearCommError(m_hPort, &errors, &status)) OnTrackerDisconnected();
}

void CMainDlg::OnTrackerDisconnected() {
  if (m_hPort == INVALID_HANDLE_VALUE || m_hFileWaitEvent != nullptr || m_reader->m_bReaderPaused.load()) return;
  Disconnect();
  FillPortList();
  ui::ShowMessageBox(this, TRACKER_DISCONNECTED_TEXT, {}, MB_ICONEXCLAMATION);
}

bool CMainDlg::SayWhenNoPort() {
  if (m_cmbPort->count() != 0) return false;
  ui::ShowMessageBox(this, NO_TRACKER_PORT_TEXT, {}, MB_ICONEXCLAMATION);
  return true;
}

BOOL CMainDlg::OpenAndProbe() {
  const int selected = m_cmbPort->currentIndex();
  if (selected != -1) {
    const std::string name = PortNameFromItem(ui::FromQt(m_cmbPort->itemText(selected)));
    m_hPort = OpenSerialPort(name.c_str(), MAIN_BAUD_RATE);
  }
  if (m_hPort == INVALID_HANDLE_VALUE) {
    ui::ShowMessageBox(this, OPEN_PORT_FAILED_TEXT, {}, MB_ICONEXCLAMATION);
    return FALSE;
  }

  g_bDeviceFound = 0;
  if (HANDLE probe = StartProbeThread(m_hPort)) {
    // The probe runs about 25 s when nothing answers; the window keeps
    // painting meanwhile but takes no input.
    ui::WaitPumping(probe, PROBE_WAIT_MS);
    CloseHandle(probe);
  }
  if (g_bDeviceFound.load() == 1) return TRUE;

  ui::ShowMessageBox(this, NO_DEVICE_TEXT, {}, MB_ICONEXCLAMATION);
  CloseHandle(m_hPort);
  m_hPort = INVALID_HANDLE_VALUE;
  return FALSE;
}

void CMainDlg::OnStart() {
  m_portBox->Settle();
  m_progress->SetRange32(0, 0);
  if (m_hPort == INVALID_HANDLE_VALUE) {
    Connect();
  } else {
    Disconnect();
  }
}

void CMainDlg::Connect() {
  if (SayWhenNoPort() || m_cmbPort->currentIndex() == -1) return;
  m_stcImei->clear();
  // Disabling the focused button hands the focus on; it comes back below.
  const bool startHadFocus = m_btnStart->hasFocus();
  m_btnStart->setEnabled(false);
  if (OpenAndProbe()) {
    m_connectedItem = ui::FromQt(m_cmbPort->currentText());
    m_btnUpdate->setEnabled(false);
    m_btnScan->setEnabled(false);
    m_btnStart->setText(ui::ToQt(STOP_BUTTON_TEXT));

    StartReader();
    WriteTrackerCommand(m_hPort, START_MENU_CHOICE);
    WriteTrackerCommand(m_hPort, IMEI_QUERY);
    m_nTimerId = SetTimer(IMEI_POLL_TIMER_ID, IMEI_POLL_MS);
    m_nImeiTicks = 0;
  }
  m_btnStart->setEnabled(true);
  if (startHadFocus) m_btnStart->setFocus();
}

void CMainDlg::Disconnect() {
  if (m_hReaderThread != nullptr) StopReader(STOP_READER_WAIT_MS);
  CloseHandle(m_hPort);
  m_hPort = INVALID_HANDLE_VALUE;
  m_connectedItem.clear();
  m_btnStart->setText(ui::ToQt(START_BUTTON_TEXT));
  m_btnUpdate->setEnabled(true);
  m_btnSetting->setEnabled(false);
  m_btnScan->setEnabled(true);
  if (m_nTimerId != 0) {
    KillTimer(m_nTimerId);
    m_nTimerId = 0;
  }
}

void CMainDlg::StartReader() {
  // A fresh link per reader: a reader that outlived its stop bound keeps its
  // own link and can no longer show an IMEI in this window.
  m_reader = std::make_shared<ReaderLink>();
  const ReaderLink* link = m_reader.get();
  QPointer<CMainDlg> window(this);
  m_reader->onImei = [window, link](const std::string& imei) {
    ui::Post(window, [window, link, imei] { window->ShowImei(link, imei); });
  };
  m_reader->onLineLost = [window, link] {
    ui::Post(window, [window, link] {
      if (link == window->m_reader.get()) window->OnTrackerDisconnected();
    });
  };
  m_reader->m_bReaderRunning = 1;
  m_reader->m_bReaderPaused = 0;
  m_hReaderThread = StartReaderThread(m_reader, m_hPort);
}

void CMainDlg::StopReader(DWORD waitMs) {
  if (m_hReaderThread == nullptr) return;
  m_reader->m_bReaderRunning = 0;
  ui::WaitPumping(m_hReaderThread, waitMs);
  CloseHandle(m_hReaderThread);
  m_hReaderThread = nullptr;
}

void CMainDlg::ShowImei(const ReaderLink* from, const std::string& imei) {
  if (from != m_reader.get()) return;
  m_stcImei->setText(ui::ToQt(imei));
  update();
}

void CMainDlg::OnTimer(UINT) {
  if (!m_stcImei->text().isEmpty()) {
    if (++m_nImeiTicks >= IMEI_TICKS_BEFORE_SETTING) {
      KillTimer(m_nTimerId);
      m_nTimerId = 0;
      m_btnSetting->setEnabled(true);
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
      m_progress->SetRange32(0, top + 1);
    } else {
      m_progress->SetRange32(1, top);
    }
  }
  return m_progress->SetPos(static_cast<int>(wParam));
}

std::function<LRESULT(WPARAM, LPARAM)> CMainDlg::ProgressSender() {
  QPointer<CMainDlg> window(this);
  return [window](WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    ui::Send(window, [&] { result = window->OnUpdateProgress(wParam, lParam); });
    return result;
  };
}

void CMainDlg::OnClose() {
  if (m_hPort != INVALID_HANDLE_VALUE) {
    if (m_hReaderThread != nullptr) StopReader(CLOSE_READER_WAIT_MS);
    CloseHandle(m_hPort);
    m_hPort = INVALID_HANDLE_VALUE;
    if (m_nTimerId != 0) {
      KillTimer(m_nTimerId);
      m_nTimerId = 0;
    }
  }
  // While an update runs the window stays: its thread still reports here.
  if (m_bUpdating.load() == 0) EndDialog(IDCANCEL);
}

// Setting, Scan COM Port and Update live in main_dlg_setting.cpp,
// main_dlg_scan.cpp and main_dlg_update.cpp.
