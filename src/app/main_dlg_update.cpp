// Update on the main window: the hand-off (probe, menu choice "1", the boot
// loader's file prompt, the port let go) on the GUI thread, then the update
// thread: the file dialog, the transfer with progress in the window's bar,
// the result box and the controls given back.
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "app/main_dlg.h"
#include "common/tool_texts.h"
#include "common/tool_timings.h"
#include "firmware/firmware_transfer.h"
#include "platform/serial_io.h"
#include "res/resource_ids.h"
#include "serial/imei_query.h"
#include "serial/port_items.h"
#include "serial/tracker_commands.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/window_text.h"

namespace {

// What the update thread gets when it starts; it reaches the window only
// through the guards.
struct UpdateJob {
  std::string portName;  // the port whose boot loader printed the prompt
  ui::DialogRef<CMainDlg> window;
  std::function<LRESULT(WPARAM, LPARAM)> progress;
};

// The file name after the last path separator ("/" or "\"), in the 8-bit
// form window texts take.
std::string FirmwareBaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return ui::PathToWindowText(slash == std::string::npos ? path : path.substr(slash + 1));
}

// The update's end on the GUI thread: the controls come back in this order,
// then the window may close again.
void EndUpdate(CMainDlg& w) {
  for (const int id : {IDC_BTN_UPDATE, IDC_BTN_START, IDC_BTN_SCAN, IDC_CMB_PORT}) w.EnableItem(id, true);
  w.m_bUpdating = 0;
}

// The chosen firmware file, or nothing when the user cancelled.
std::optional<std::string> ChooseFirmwareFile(const ui::WindowRef& owner) {
  ui::FileDialogRequest request;
  request.mode = ui::FileDialogMode::Open;
  request.owner = owner;
  request.title = FIRMWARE_DIALOG_TITLE;
  request.filters = ui::ParseFilterString(FIRMWARE_FILE_FILTER);
  return ui::ShowFileDialog(request);
}

}  // namespace

void CMainDlg::EnableHandOffControls(bool enable) {
  for (const int id : {IDC_BTN_START, IDC_BTN_UPDATE, IDC_BTN_SCAN, IDC_CMB_PORT}) EnableItem(id, enable);
}

void CMainDlg::OnUpdate() {
  m_portBox.Settle();
  if (SayWhenNoPort()) return;
  const int selected = CurSel(IDC_CMB_PORT);
  if (selected == -1) return;
  const std::string portName = PortNameFromItem(ItemString(IDC_CMB_PORT, selected));

  SetProgressRange(IDC_PROGRESS, 0, 0);
  EnableHandOffControls(false);
  OpenAndProbe([this, portName](BOOL found) {
    if (!found) {
      EnableHandOffControls(true);
      return;
    }
    // The reader watches for the boot loader's file prompt while "1" goes out.
    StartReader();
    m_hFileWaitEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_reader->SetFileWaitEvent(m_hFileWaitEvent);
    WriteTrackerCommand(m_hPort, UPDATE_MENU_CHOICE);
    WaitThen(m_hFileWaitEvent, FILE_PROMPT_WAIT_MS, [this, portName](DWORD result) {
      const bool promptSeen = result == WAIT_OBJECT_0;
      // The port is let go before the update thread opens it again.
      StopReader(UPDATE_READER_WAIT_MS, [this, portName, promptSeen] { FinishHandOff(portName, promptSeen); });
    });
  });
}

void CMainDlg::FinishHandOff(const std::string& portName, bool promptSeen) {
  // A reader that outlived its bound loses the event first, so it never
  // signals a closed one.
  m_reader->SetFileWaitEvent(nullptr);
  CloseHandle(m_hFileWaitEvent);
  m_hFileWaitEvent = nullptr;
  // No prompt because the line went (cable pulled): that is what the box says.
  const bool lineLost = !promptSeen && platform::CommLineLost(m_hPort);
  CloseHandle(m_hPort);
  m_hPort = INVALID_HANDLE_VALUE;

  if (promptSeen) {
    auto* job = new UpdateJob{portName, ui::DialogRef<CMainDlg>(Ref()), ProgressSender()};
    m_bUpdating = 1;
    if (HANDLE thread = CreateThread(nullptr, 0, UpdateThread, job, 0, nullptr)) {
      CloseHandle(thread);
      return;
    }
    delete job;
    m_bUpdating = 0;
  } else if (lineLost) {
    ui::ShowMessageBox(Ref(), TRACKER_DISCONNECTED_TEXT, {}, MB_ICONEXCLAMATION);
  } else {
    ui::ShowMessageBox(Ref(), RESET_DEVICE_TEXT, ERROR_CAPTION, MB_ICONERROR);
  }
  EnableHandOffControls(true);
}

DWORD CMainDlg::UpdateThread(void* param) {
  const std::unique_ptr<UpdateJob> job(static_cast<UpdateJob*>(param));
  const ui::DialogRef<CMainDlg>& window = job->window;

  window.Send([](CMainDlg& w) { std::memset(w.m_szFirmwarePath, 0, FIRMWARE_PATH_SIZE); });
  const std::optional<std::string> path = ChooseFirmwareFile(window.Window());
  if (path) {
    int result = 1;
    FirmwareTransferReport report;
    report.step = FirmwareStep::NameTooLong;
    // A path that does not fit the path field is refused with the failure
    // message rather than cut to another file's name.
    if (path->size() < FIRMWARE_PATH_SIZE) {
      window.Send([&](CMainDlg& w) { std::memcpy(w.m_szFirmwarePath, path->c_str(), path->size() + 1); });
      const TransferProgressSink progress = [&job](WPARAM chunks, LPARAM sizeKib) { job->progress(chunks, sizeKib); };
      result = RunFirmwareTransfer(job->portName.c_str(), path->c_str(), progress, &report);
    }
    const bool succeeded = result == 0;
    std::string text = UpdateResultText(FirmwareBaseName(*path), succeeded);
    if (!succeeded && report.step == FirmwareStep::OpenPort)
      text += UPDATE_PORT_TAKEN_START + ui::PathToWindowText(job->portName) + UPDATE_PORT_TAKEN_END;
    ui::ShowMessageBox(window.Window(), text, succeeded ? SUCCEED_CAPTION : ERROR_CAPTION,
                       succeeded ? MB_OK : MB_ICONERROR);
  }
  window.Send([](CMainDlg& w) { EndUpdate(w); });
  return 1;
}
