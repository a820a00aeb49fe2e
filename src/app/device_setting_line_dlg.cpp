// The Device Setting dialog and its tracker's line: a pulled cable noticed at
// any moment and said once, what a transfer that lost the line (or a write
// the tracker stopped answering) leaves on the tracker and in the fields, and
// a verdict that no longer fits the fields.
#include "common/tool_texts.h"
#include "common/tool_timings.h"
#include "res/resource_ids.h"
#include "app/device_setting_dlg.h"
#include "platform/serial_io.h"
#include "ui/message_box.h"

void CDeviceSettingDlg::OnTimer(UINT id) {
  if (id != LINE_WATCH_TIMER_ID) return;
  // A running transfer, the opening and the close notice the loss themselves.
  if (!m_exchange || m_bBusy != 0 || m_bReading || m_bStarting || m_bClosing) return;
  // The session's reader sees a hang-up only when it polls; a port whose
  // device is gone also fails the queue query at once.
  DWORD errors = 0;
  COMSTAT status{};
  if (m_exchange->LineLost() || !ClearCommError(m_hPort, &errors, &status) || platform::CommLineLost(m_hPort))
    NoticeLostLine();
}

void CDeviceSettingDlg::NoticeLostLine() {
  if (m_bLineLossSaid) return;
  m_bLineLossSaid = true;
  m_verdictFor.reset();
  ShowStatus(settings::STATUS_LINE, TRACKER_DISCONNECTED_TEXT);
  ui::ShowMessageBox(Ref(), settings::LINE_LOST_FIELDS_KEPT_TEXT, {}, MB_ICONEXCLAMATION);
}

void CDeviceSettingDlg::ReportLostTransfer(const settings::TransferReport& report) {
  m_bLineLossSaid = true;
  m_verdictFor.reset();
  if (report.kind == settings::TransferKind::Read) {
    // A read that could not finish leaves the fields as they were before it.
    ShowSettings(m_beforeRead);
    ui::ShowMessageBox(Ref(), settings::LINE_LOST_FIELDS_KEPT_TEXT, {}, MB_ICONEXCLAMATION);
    return;
  }
  m_writeProgress.OnLineLost();
  ui::ShowMessageBox(
      Ref(), settings::WRITE_LINE_LOST_START + m_writeProgress.Describe() + WriteBoxEnd(settings::WRITE_LINE_LOST_END),
      {}, MB_ICONEXCLAMATION);
}

void CDeviceSettingDlg::ReportUnfinishedWrite(const settings::TransferReport& report) {
  // The status line keeps the write's own verdict ("Setting Message Time out
  // "); the box adds which messages the tracker now lacks. A write that
  // succeeded checked every message; one that timed out goes on through all
  // four, so its last reply can be an OK while an earlier message is not.
  if (report.cancelled || !m_writeProgress.Unfinished()) return;
  ui::ShowMessageBox(
      Ref(),
      settings::WRITE_UNFINISHED_START + m_writeProgress.Describe() + WriteBoxEnd(settings::WRITE_UNFINISHED_END), {},
      MB_ICONEXCLAMATION);
}

const char* CDeviceSettingDlg::WriteBoxEnd(const char* advice) const {
  // A close asked for during the write ends the dialog once the box is
  // answered: advice to use the fields or Export could not be followed.
  return CloseRequested() ? settings::WRITE_LEFT_ON_CLOSE_END : advice;
}

void CDeviceSettingDlg::KeepFieldsTheTrackerLacks() {
  // Only after a write this dialog left unfinished: the fields hold what the
  // box promised to keep, and an empty message is what that write deleted.
  if (!m_readAfterUnfinishedWrite) return;
  m_readAfterUnfinishedWrite = false;
  std::vector<unsigned> missing;
  for (unsigned n = 1; n <= settings::MESSAGE_COUNT; ++n) {
    if ((m_readFound & (1u << (n - 1))) != 0) continue;
    ShowMessageSettings(m_beforeRead, n);
    missing.push_back(n);
  }
  if (missing.empty()) return;
  ui::ShowMessageBox(Ref(), "The tracker holds no " + MessageNumbersText(missing) + settings::READ_UNWRITTEN_KEPT_END,
                     {}, MB_ICONEXCLAMATION);
}

void CDeviceSettingDlg::OnKillFocus(int id) { ForgetStaleVerdict(); }

void CDeviceSettingDlg::ForgetStaleVerdict() {
  if (!m_verdictFor || ReadSettings() == *m_verdictFor) return;
  m_verdictFor.reset();
  ShowStatus(settings::STATUS_LINE, "");
}
