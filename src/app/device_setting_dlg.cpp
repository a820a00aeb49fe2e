// The Device Setting dialog's life: opening, the transfers with the tracker
// and closing. The controls and the settings files are in
// device_setting_fields_dlg.cpp and device_setting_file_dlg.cpp.
#include "app/device_setting_dlg.h"

#include "common/tool_texts.h"
#include "common/tool_timings.h"
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "platform/serial_io.h"
#include "ui/message_box.h"

namespace {
bool IsOpenPort(HANDLE port) { return port != nullptr && port != INVALID_HANDLE_VALUE; }
}  // namespace

CDeviceSettingDlg::CDeviceSettingDlg(HANDLE port, ui::TemplateDialog* owner)
    : ui::TemplateDialog(res::DeviceSettingDialogTemplate(), owner), m_hPort(port) {}

CDeviceSettingDlg::~CDeviceSettingDlg() {
  // A dialog destroyed without its close procedure still stops its session
  // before anything it owns goes away; background work that uses the
  // session ends first.
  StopBackgroundWork();
  StopSession();
}

bool CDeviceSettingDlg::OnCommand(int id) {
  // Nothing starts while the opening or the close procedure runs.
  if (m_bStarting || m_bClosing) return false;
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

  FillStartLists();
  SelectListPosition(settings::Setting(settings::SettingId::reportMode).controlId, settings::REPORT_MODE_STOP_POSITION);
  SelectListPosition(settings::Setting(settings::SettingId::timeZone).controlId, settings::TIME_ZONE_UTC_POSITION);

  // The dialog shows while the opening talks to the tracker, as in a read.
  EnterTransferState(false);
  StartSession();
  return true;
}

settings::ExchangeCallbacks CDeviceSettingDlg::SessionCallbacks() {
  const ui::DialogRef<CDeviceSettingDlg> dialog(Ref());
  settings::ExchangeCallbacks callbacks;
  callbacks.onStatus = [dialog](int selector, const std::string& text) {
    dialog.Post([selector, text](CDeviceSettingDlg& d) {
      if (d.m_bBusy != 0 && selector == settings::STATUS_LINE) d.m_writeProgress.OnStatus(text);
      d.ShowStatus(selector, text);
    });
  };
  // A write's steps, in the order the worker took them, so that a write the
  // line ends can say what it left on the tracker.
  callbacks.onResult = [dialog](BYTE result) {
    dialog.Post([result](CDeviceSettingDlg& d) {
      if (d.m_bBusy != 0) d.m_writeProgress.OnResult(result);
    });
  };
  callbacks.onMessageApplied = [dialog](unsigned messageNumber, const settings::DeviceSettings& record) {
    dialog.Post([messageNumber, record](CDeviceSettingDlg& d) {
      // A reply that comes after its read has ended no longer belongs to it.
      if (!d.m_bReading) return;
      d.ShowMessageSettings(record, messageNumber);
      if (messageNumber >= 1 && messageNumber <= settings::MESSAGE_COUNT) d.m_readFound |= 1u << (messageNumber - 1);
    });
  };
  // "WM_MESSAGESAVE_DONE": the worker's last act, posted behind everything
  // it reported before.
  callbacks.onTransferDone = [dialog](const settings::TransferReport& report) {
    dialog.Post([report](CDeviceSettingDlg& d) { d.OnTransferDone(report); });
  };
  return callbacks;
}

void CDeviceSettingDlg::StartSession() {
  settings::ExchangeOptions options;
  options.callbacks = SessionCallbacks();
  options.layout = settings::ActiveLayout();
  options.firmwareVersion = settings::firmwareVersion;
  m_exchange = std::make_unique<settings::SettingsExchange>(std::move(options));
  if (!IsOpenPort(m_hPort) || !m_exchange->Start(m_hPort)) {
    OnSessionOpened();
    return;
  }
  // Which rows show is known once the tracker has told its version.
  HideLayoutRows();
  SetTimer(LINE_WATCH_TIMER_ID, LINE_WATCH_MS);

  AskVersionThen([this] { OnSessionOpened(); });
}

void CDeviceSettingDlg::AskVersionThen(const std::function<void()>& then) {
  // Up to 2.5 s for the version and 5 s for the text mode command, each on
  // a worker that has the session to itself while the dialog is busy.
  settings::SettingsExchange* exchange = m_exchange.get();
  auto answer = std::make_shared<settings::VersionAnswer>();
  RunThen([exchange, answer] { *answer = exchange->QueryVersion(); },
          [this, exchange, answer, then] {
            OnVersionAnswered(*answer);
            RunThen([exchange] { exchange->SetTextMode(); }, then);
          });
}

void CDeviceSettingDlg::OnVersionAnswered(const settings::VersionAnswer& answer) {
  if (answer.answered) m_bVersionAnswered = true;
  settings::RememberFirmware(answer);
  // The version whole; the kept 21 characters only decide the layout.
  const std::string& whole = settings::firmwareVersionWhole;
  SetItemText(IDC_EDT_FIRMWARE_VERSION,
              whole.starts_with(settings::firmwareVersion) ? whole : std::string(settings::firmwareVersion));
  ApplyLayout(SessionLayout());
}

void CDeviceSettingDlg::OnSessionOpened() {
  m_bBusy = 0;
  m_bStarting = false;
  if (m_nCloseAfterOpening != 0) {
    CloseProcedure(m_nCloseAfterOpening);
    return;
  }
  // The first read leaves the opening's transfer state at its end.
  StartReadingSettings();
}

settings::SettingsLayout CDeviceSettingDlg::SessionLayout() const {
  return m_exchange ? m_exchange->Layout() : settings::ActiveLayout();
}

void CDeviceSettingDlg::OnGetDeviceSetting() {
  if (m_bBusy != 0 || m_bReading) return;
  if (m_exchange && (m_exchange->LineLost() || platform::CommLineLost(m_hPort))) {
    // Nothing can be read: the fields stay as they are. A dialog whose
    // opening found the line gone leaves the opening's state here.
    LeaveTransferState();
    m_bLineLossSaid = false;
    NoticeLostLine();
    return;
  }
  if (m_exchange && m_exchange->IsStarted() && !m_bVersionAnswered) {
    // The opening had no answer (the tracker was switched off): its version
    // decides the layout the messages are read in, and so what Set to device
    // writes back. It is asked again, with the text mode, before the read.
    m_bStarting = true;
    EnterTransferState(false);
    AskVersionThen([this] { OnSessionOpened(); });
    return;
  }
  StartReadingSettings();
}

void CDeviceSettingDlg::StartReadingSettings() {
  if (m_exchange && (m_exchange->LineLost() || platform::CommLineLost(m_hPort))) {
    LeaveTransferState();
    m_bLineLossSaid = false;
    NoticeLostLine();
    return;
  }
  m_beforeRead = ReadSettings();
  m_readFound = 0;
  m_readAfterUnfinishedWrite = m_writeProgress.Unfinished();
  ClearFields(CLEAR_ALL_MESSAGES);
  SetItemText(settings::Setting(settings::SettingId::deviceName).controlId, "");

  const settings::StartResult started =
      m_exchange ? m_exchange->StartRead(ReadSettings()) : settings::StartResult::NotStarted;
  if (started == settings::StartResult::Busy) return;
  m_bReading = true;
  EnterTransferState(false);
  // Without a port the read ends at once, as a worker with no port to read does.
  if (started != settings::StartResult::Started) PostTransferDone();
}

void CDeviceSettingDlg::OnSetToDevice() {
  if (m_bBusy != 0 || m_bReading) return;
  if (m_exchange && (m_exchange->LineLost() || platform::CommLineLost(m_hPort))) {
    m_bLineLossSaid = false;
    NoticeLostLine();
    return;
  }
  if (m_exchange && m_exchange->IsStarted() && !m_bVersionAnswered) {
    // As for a read: the fields go out in the layout of the tracker's own
    // version, asked for again first (a switched-off tracker's opening got
    // none). A record that does not suit that layout is refused as usual.
    m_bStarting = true;
    EnterTransferState(true);
    AskVersionThen([this] {
      m_bStarting = false;
      LeaveTransferState();
      if (m_nCloseAfterOpening != 0) {
        CloseProcedure(m_nCloseAfterOpening);
        return;
      }
      StartWritingSettings();
    });
    return;
  }
  StartWritingSettings();
}

void CDeviceSettingDlg::StartWritingSettings() {
  std::vector<settings::SettingsProblem> problems;
  const settings::StartResult started =
      m_exchange ? m_exchange->StartWrite(ReadSettings(), &problems) : settings::StartResult::NotStarted;
  if (started == settings::StartResult::Refused) {
    // Nothing was sent: the tracker keeps its messages.
    ui::ShowMessageBox(Ref(), settings::DescribeProblems(problems), {}, MB_ICONEXCLAMATION);
    return;
  }
  if (started == settings::StartResult::Busy) return;
  m_bBusy = 1;
  m_writeProgress = WriteProgress();
  m_verdictFor.reset();
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

void CDeviceSettingDlg::LeaveTransferState() {
  EnableSettingGroups(true);
  EnableItem(IDC_BTN_SET_TO_DEVICE, true);
  EnableItem(settings::Setting(settings::SettingId::deviceName).controlId, true);
  EnableItem(IDC_BTN_EXIT, true);
  EnableFileCommands(true);
}

void CDeviceSettingDlg::PostTransferDone() {
  ui::DialogRef<CDeviceSettingDlg>(Ref()).Post([](CDeviceSettingDlg& d) { d.OnTransferDone(); });
}

void CDeviceSettingDlg::OnTransferDone() { OnTransferDone(settings::TransferReport{}); }

void CDeviceSettingDlg::OnTransferDone(const settings::TransferReport& report) {
  // A session that the close procedure stops has nothing left to end.
  if (!m_exchange || m_bClosing) return;
  const bool wasWriting = m_bBusy != 0;
  m_bBusy = 0;
  m_bReading = false;
  LeaveTransferState();
  // A reply wait that ran out because the line had gone counts as the loss.
  settings::TransferReport ended = report;
  if (IsOpenPort(m_hPort) && (m_exchange->LineLost() || platform::CommLineLost(m_hPort))) ended.lineLost = true;
  if (ended.lineLost) {
    ReportLostTransfer(ended);
  } else if (ended.kind == settings::TransferKind::Read && ended.unanswered && !ended.cancelled) {
    // A tracker that stopped answering (switched off, its battery flat) gave
    // only part of its settings: the fields stay as they were, so that Set to
    // device cannot write half of them back empty.
    ShowSettings(m_beforeRead);
    ui::ShowMessageBox(Ref(), settings::READ_UNANSWERED_FIELDS_KEPT_TEXT, {}, MB_ICONEXCLAMATION);
  } else if (wasWriting) {
    // The verdict on show is about these values.
    m_verdictFor = ReadSettings();
    ReportUnfinishedWrite(ended);
  } else {
    if (ended.kind == settings::TransferKind::Read && !ended.cancelled) KeepFieldsTheTrackerLacks();
    ForgetStaleVerdict();
  }
}

void CDeviceSettingDlg::OnExitButton() {
  // As a posted WM_CLOSE: the close procedure runs after this click.
  ui::DialogRef<CDeviceSettingDlg>(Ref()).Post([](CDeviceSettingDlg& d) { d.OnClose(); });
}

void CDeviceSettingDlg::CloseProcedure(int result) {
  if (m_bBusy != 0 || m_bClosing) return;
  if (m_bStarting) {
    // A close that comes during the opening is carried out once the
    // opening is over; the session is the opening's until then.
    m_nCloseAfterOpening = result;
    return;
  }
  m_bClosing = true;
  StopSessionThen([this, result] {
    m_bClosing = false;
    EndDialog(result);
  });
}

void CDeviceSettingDlg::StopSessionThen(const std::function<void()>& then) {
  if (!m_exchange) {
    then();
    return;
  }
  // A read may still run (Exit stays enabled then): it ends at its next step.
  settings::SettingsExchange* exchange = m_exchange.get();
  exchange->Cancel();
  RunThen(
      [exchange] {
        exchange->WaitIdle(CLOSE_TRANSFER_WAIT_MS);
        exchange->Stop();
      },
      [this, then] {
        m_exchange.reset();
        m_bReading = false;
        then();
      });
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
