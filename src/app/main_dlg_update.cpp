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
#include "serial/imei_query.h"
#include "serial/port_items.h"
#include "serial/tracker_commands.h"
#include "ui/file_dialog.h"
#include "ui/gui_call.h"
#include "ui/message_box.h"
#include "ui/pumped_wait.h"
#include "ui/text.h"

namespace {

// What the update thread gets when it starts; it reaches the window only
// through the guards.
struct UpdateJob {
  std::string portName;  // the port whose boot loader printed the prompt
  QPointer<CMainDlg> window;
  QPointer<QWidget> owner;  // the same window, as the owner of boxes and dialogs
  std::function<LRESULT(WPARAM, LPARAM)> progress;
};

// The file name after the last path separator ("/" or "\"), in the 8-bit
// form window texts take.
std::string FirmwareBaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  return ui::FromQt(ui::PathToQt(base));
}

void EnableHandOffControls(CMainDlg& w, bool enable) {
  w.m_btnStart->setEnabled(enable);
  w.m_btnUpdate->setEnabled(enable);
  w.m_btnScan->setEnabled(enable);
  w.m_cmbPort->setEnabled(enable);
}

// The update's end on the GUI thread: the controls come back in this order,
// then the window may close again.
void EndUpdate(CMainDlg& w) {
  w.m_btnUpdate->setEnabled(true);
  w.m_btnStart->setEnabled(true);
  w.m_btnScan->setEnabled(true);
  w.m_cmbPort->setEnabled(true);
  w.m_bUpdating = 0;
}

// The chosen firmware file, or nothing when the user cancelled.
std::optional<std::string> ChooseFirmwareFile(const QPointer<QWidget>& owner) {
  ui::FileDialogRequest request;
  request.mode = ui::FileDialogMode::Open;
  request.owner = owner;
  request.title = FIRMWARE_DIALOG_TITLE;
  request.filters = ui::ParseFilterString(FIRMWARE_FILE_FILTER);
  return ui::ShowFileDialog(request);
}

}  // namespace

void CMainDlg::OnUpdate() {
  m_portBox->Settle();
  if (SayWhenNoPort()) return;
  const int selected = m_cmbPort->currentIndex();
  if (selected == -1) return;
  const std::string portName = PortNameFromItem(ui::FromQt(m_cmbPort->itemText(selected)));

  m_progress->SetRange32(0, 0);
  EnableHandOffControls(*this, false);
  if (!OpenAndProbe()) {
    EnableHandOffControls(*this, true);
    return;
  }

  // The reader watches for the boot loader's file prompt while "1" goes out.
  StartReader();
  m_hFileWaitEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  m_reader->SetFileWaitEvent(m_hFileWaitEvent);
  WriteTrackerCommand(m_hPort, UPDATE_MENU_CHOICE);
  const bool promptSeen = ui::WaitPumping(m_hFileWaitEvent, FILE_PROMPT_WAIT_MS) == WAIT_OBJECT_0;

  // The port is let go before the update thread opens it again. A reader
  // that outlives its bound loses the event first, so it never signals a
  // closed one.
  StopReader(UPDATE_READER_WAIT_MS);
  m_reader->SetFileWaitEvent(nullptr);
  CloseHandle(m_hFileWaitEvent);
  m_hFileWaitEvent = nullptr;
  CloseHandle(m_hPort);
  m_hPort = INVALID_HANDLE_VALUE;

  if (promptSeen) {
    auto* job = new UpdateJob{portName, QPointer<CMainDlg>(this), QPointer<QWidget>(this),
                              ProgressSender()};
    m_bUpdating = 1;
    if (HANDLE thread = CreateThread(nullptr, 0, UpdateThread, job, 0, nullptr)) {
      CloseHandle(thread);
      return;
    }
    delete job;
    m_bUpdating = 0;
  } else {
    ui::ShowMessageBox(this, RESET_DEVICE_TEXT, ERROR_CAPTION, MB_ICONERROR);
  }
  EnableHandOffControls(*this, true);
}

DWORD CMainDlg::UpdateThread(void* param) {
  const std::unique_ptr<UpdateJob> job(static_cast<UpdateJob*>(param));
  const QPointer<CMainDlg>& window = job->window;

  ui::Send(window, [&] { std::memset(window->m_szFirmwarePath, 0, FIRMWARE_PATH_SIZE); });
  const std::optional<std::string> path = ChooseFirmwareFile(job->owner);
  if (path) {
    int result = 1;
    // A path that does not fit the path field is refused with the failure
    // message rather than cut to another file's name.
    if (path->size() < FIRMWARE_PATH_SIZE) {
      ui::Send(window, [&] { std::memcpy(window->m_szFirmwarePath, path->c_str(), path->size() + 1); });
      const TransferProgressSink progress = [&job](WPARAM chunks, LPARAM sizeKib) {
        job->progress(chunks, sizeKib);
      };
      result = RunFirmwareTransfer(job->portName.c_str(), path->c_str(), progress);
    }
    const bool succeeded = result == 0;
    ui::ShowMessageBox(job->owner, UpdateResultText(FirmwareBaseName(*path), succeeded),
                       succeeded ? SUCCEED_CAPTION : ERROR_CAPTION,
                       succeeded ? MB_OK : MB_ICONERROR);
  }
  ui::Send(window, [&] { EndUpdate(*window); });
  return 1;
}
