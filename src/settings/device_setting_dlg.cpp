// The Device Setting dialog's life: opening, the transfers with the tracker
// and closing. The controls and the settings files are in
// device_setting_fields_dlg.cpp and device_setting_file_dlg.cpp.
#include "settings/device_setting_dlg.h"

#include <QPushButton>

#include "app/main_dlg.h"
#include "common/tool_texts.h"
#include "common/tool_timings.h"
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "ui/gui_call.h"
#include "ui/message_box.h"
#include "ui/pumped_wait.h"

namespace {
bool IsOpenPort(HANDLE port) { return port != nullptr && port != INVALID_HANDLE_VALUE; }
}  // namespace

CDeviceSettingDlg::CDeviceSettingDlg(QWidget* parent)
    : ui::TemplateDialog(res::DeviceSettingDialogTemplate(), parent) {
  for (const int id : {IDC_BTN_IMPORT, IDC_BTN_EXPORT, IDC_BTN_GET_DEVICE_SETTING, IDC_BTN_SET_TO_DEVICE,
                       IDC_BTN_EXIT}) {
    connect(ControlAs<QPushButton>(id), &QPushButton::clicked, this, [this, id] { OnCommand(id); });
  }
}

CDeviceSettingDlg::~CDeviceSettingDlg() {
  // A dialog destroyed without its close procedure still stops its session
  // before anything it owns goes away.
  StopSession();
}

bool CDeviceSettingDlg::OnCommand(int id) {
  // Nothing starts under the opening, whose waits serve queued calls.
  if (m_bStarting) return false;
  switch (id) {
    case IDC_BTN_IMPORT:
    case ID_FILE_IMPORT: OnImport(); return true;
    case IDC_BTN_EXPORT:
    case ID_FILE_EXPORT: OnExport(); return true;
    case IDC_BTN_GET_DEVICE_SETTING:
    case ID_DEVICE_GET_SETTING: OnGetDeviceSetting(); return true;
    case IDC_BTN_SET_TO_DEVICE:
    case ID_DEVICE_SET_SETTING: OnSetToDevice(); return true;
    case IDC_BTN_EXIT: OnExitButton(); return true;
    case ID_APP_EXIT: CloseProcedure(IDOK); return true;
    default: return false;
  }
}

bool CDeviceSettingDlg::OnInitDialog() {
  m_bStarting = true;
  SetItemText(IDC_STC_SETTING_IMEI, m_strImei);

  ShowItem(IDC_STC_DEVICE_NAME, false);
  ShowItem(settings::Setting(settings::SettingId::deviceName).controlId, false);
  EnableItem(IDC_BTN_SET_TO_DEVICE, true);
  EnableSettingGroups(true);

  if (auto* owner = qobject_cast<CMainDlg*>(parentWidget())) m_hPort = owner->m_hPort;

  FillStartLists();
  SelectListPosition(settings::Setting(settings::SettingId::reportMode).controlId,
                     settings::REPORT_MODE_STOP_POSITION);
  SelectListPosition(settings::Setting(settings::SettingId::timeZone).controlId,
                     settings::TIME_ZONE_UTC_POSITION);

  StartSession();
  m_bBusy = 0;
  m_bStarting = false;
  OnGetDeviceSetting();
  return true;
}

settings::ExchangeCallbacks CDeviceSettingDlg::SessionCallbacks() {
  const QPointer<CDeviceSettingDlg> dialog(this);
  settings::ExchangeCallbacks callbacks;
  callbacks.onStatus = [dialog](int selector, const std::string& text) {
    ui::Post(dialog, [dialog, selector, text] { dialog->ShowStatus(selector, text); });
  };
  callbacks.onMessageApplied = [dialog](unsigned messageNumber, const settings::DeviceSettings& record) {
    ui::Post(dialog, [dialog, messageNumber, record] {
      // A reply that comes after its read has ended no longer belongs to it.
      if (dialog->m_bReading) dialog->ShowMessageSettings(record, messageNumber);
    });
  };
  // "WM_MESSAGESAVE_DONE": the worker's last act, queued behind everything
  // it reported before.
  callbacks.onTransferDone = [dialog](const settings::TransferReport&) {
    ui::Post(dialog, [dialog] { dialog->OnTransferDone(); });
  };
  return callbacks;
}

void CDeviceSettingDlg::StartSession() {
  settings::ExchangeOptions options;
  options.callbacks = SessionCallbacks();
  options.layout = settings::ActiveLayout();
  options.firmwareVersion = settings::firmwareVersion;
  // The opening waits (up to 7.5 s) keep the windows painting, with the busy cursor.
  options.waiter = [](DWORD count, const HANDLE* handles, DWORD timeoutMs) {
    return ui::WaitPumpingAny(count, handles, timeoutMs);
  };
  m_exchange = std::make_unique<settings::SettingsExchange>(std::move(options));
  if (!IsOpenPort(m_hPort) || !m_exchange->Start(m_hPort)) return;

  settings::RememberFirmware(m_exchange->QueryVersion());
  SetItemText(IDC_EDT_FIRMWARE_VERSION, settings::firmwareVersion);
  ApplyLayout(SessionLayout());
  m_exchange->SetTextMode();
}

settings::SettingsLayout CDeviceSettingDlg::SessionLayout() const {
  return m_exchange ? m_exchange->Layout() : settings::ActiveLayout();
}

void CDeviceSettingDlg::OnGetDeviceSetting() {
  if (m_bBusy != 0 || m_bReading) return;
  ClearFields(CLEAR_ALL_MESSAGES);
  SetItemText(settings::Setting(settings::SettingId::deviceName).controlId, "");

  const settings::StartResult started = m_exchange ? m_exchange->StartRead(ReadSettings())
                                                   : settings::StartResult::NotStarted;
  if (started == settings::StartResult::Busy) return;
  m_bReading = true;
  EnterTransferState(false);
  // Without a port the read ends at once, as a worker with no port to read does.
  if (started != settings::StartResult::Started) PostTransferDone();
}

void CDeviceSettingDlg::OnSetToDevice() {
  if (m_bBusy != 0 || m_bReading) return;
  std::vector<settings::SettingsProblem> problems;
  const settings::StartResult started =
      m_exchange ? m_exchange->StartWrite(ReadSettings(), &problems) : settings::StartResult::NotStarted;
  if (started == settings::StartResult::Refused) {
    // Nothing was sent: the tracker keeps its messages.
    ui::ShowMessageBox(QPointer<QWidget>(this), settings::DescribeProblems(problems), {}, MB_ICONEXCLAMATION);
    return;
  }
  if (started == settings::StartResult::Busy) return;
  m_bBusy = 1;
  EnterTransferState(true);
  if (started != settings::StartResult::Started) PostTransferDone();
}

void CDeviceSettingDlg::EnterTransferState(bool writing) {
  EnableSettingGroups(false);
  EnableFileCommands(false);
  EnableItem(IDC_BTN_SET_TO_DEVICE, false);
  EnableItem(settings::Setting(settings::SettingId::deviceName).controlId, false);
  if (writing) EnableItem(IDC_BTN_EXIT, false);
}

void CDeviceSettingDlg::PostTransferDone() {
  const QPointer<CDeviceSettingDlg> dialog(this);
  ui::Post(dialog, [dialog] { dialog->OnTransferDone(); });
}

void CDeviceSettingDlg::OnTransferDone() {
  // A session stopped by the close procedure has nothing left to end.
  if (!m_exchange) return;
  m_bBusy = 0;
  m_bReading = false;
  EnableSettingGroups(true);
  EnableItem(IDC_BTN_SET_TO_DEVICE, true);
  EnableItem(settings::Setting(settings::SettingId::deviceName).controlId, true);
  EnableItem(IDC_BTN_EXIT, true);
  EnableFileCommands(true);
}

void CDeviceSettingDlg::OnExitButton() {
  // As a posted WM_CLOSE: the close procedure runs after this click.
  const QPointer<CDeviceSettingDlg> dialog(this);
  ui::Post(dialog, [dialog] { dialog->OnClose(); });
}

void CDeviceSettingDlg::CloseProcedure(int result) {
  if (m_bBusy != 0) return;
  if (m_bStarting) {
    // A close that reaches the opening's waits is carried out once the
    // opening is over; the session is in use on this very stack.
    const QPointer<QObject> guard(this);
    ui::RunAfterPumpedWaits(guard, [this, result] { CloseProcedure(result); });
    return;
  }
  StopSession();
  EndDialog(result);
}

void CDeviceSettingDlg::StopSession() {
  if (!m_exchange) return;
  // A read may still run (Exit stays enabled then): it ends at its next step.
  m_exchange->Cancel();
  m_exchange->WaitIdle(CLOSE_TRANSFER_WAIT_MS);
  m_exchange->Stop();
  m_exchange.reset();
  m_bReading = false;
}
