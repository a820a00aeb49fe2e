// The Device Setting dialog (template 131): the tracker's settings, read
// from the tracker when the dialog opens and on "Get device setting",
// written on "Set to device", kept in settings files with Import and Export.
//
// The dialog is a view over a settings session (settings_exchange.h) on the
// port it borrows from the main window: it copies its controls into a
// DeviceSettings record before a write or an export and copies the record
// back after a read reply or an import. Which control shows which setting
// comes from the settings table (settings_table.h).
//
// States: Reading (from the end of OnInitDialog and on Get device setting:
// the settings and file commands are disabled, Exit stays enabled), Writing
// (Set to device: Exit too is disabled and every close is refused) and Idle
// (after OnTransferDone: everything enabled as the layout shows it).
//
// Opening: the version query and the text mode command (up to 2.5 s and
// 5 s) run as background work while the dialog is busy; the session is the
// worker's alone meanwhile. The close procedure cancels and stops the
// session the same way (each wait bounded) before the dialog ends.
//
// Thread contract: GUI thread only. The session's callbacks run on its
// reader and worker threads; they reach the dialog only as calls posted to a
// DialogRef. The end of a transfer, which a Windows build posts as the
// registered window message "WM_MESSAGESAVE_DONE", is such a posted call of
// OnTransferDone. No thread uses the dialog or the session's events once it
// is gone: the destructor joins the background work and stops the session.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/tool_texts.h"
#include "common/tool_timings.h"
#include "settings/device_settings.h"
#include "settings/settings_exchange.h"
#include "settings/write_progress.h"
#include "ui/template_dialog.h"

// ClearFields mask bits: the edits of message 1, 2, 3 and 4.
constexpr unsigned CLEAR_MESSAGE_1 = 0x1;
constexpr unsigned CLEAR_MESSAGE_2 = 0x2;
constexpr unsigned CLEAR_MESSAGE_3 = 0x4;
constexpr unsigned CLEAR_MESSAGE_4 = 0x8;
constexpr unsigned CLEAR_ALL_MESSAGES = 0xF;

// The dialog's timer that watches the tracker's line (period LINE_WATCH_MS).
constexpr UINT LINE_WATCH_TIMER_ID = 1;

class CDeviceSettingDlg : public ui::TemplateDialog {
 public:
  // `port`: the main window's open port, borrowed for the dialog's session
  // (never closed here; INVALID_HANDLE_VALUE or null: no session). Without
  // an owner the application's main window owns the dialog.
  explicit CDeviceSettingDlg(HANDLE port, ui::TemplateDialog* owner = nullptr);
  ~CDeviceSettingDlg() override;

  // The IMEI text shown in the dialog (given before DoModal).
  void SetImei(const std::string& imei) { m_strImei = imei; }
  // The dialog has told the user its tracker's line is gone.
  bool LineLossSaid() const { return m_bLineLossSaid; }

  // The settings the controls hold, and the way back (every setting, or the
  // settings of one message).
  settings::DeviceSettings ReadSettings() const;
  void ShowSettings(const settings::DeviceSettings& record);
  void ShowMessageSettings(const settings::DeviceSettings& record, unsigned messageNumber);

  // Enable or disable the fields of message 1 (as the active layout shows
  // them), 2, 3 and 4; their edits become read-only when disabled.
  void EnableBasicFields(bool on);
  void EnableNumberFields(bool on);
  void EnableGprsFields(bool on);
  void EnableServerField(bool on);
  // Get device setting, Import and Export.
  void EnableFileCommands(bool on);
  // Empties the edits of the messages in `mask` (CLEAR_MESSAGE_n), all but
  // the disconnect interval; lists keep their selection.
  void ClearFields(unsigned mask);
  // Selects the time zone whose text is exactly `text`, otherwise "+0.00".
  void SelectTimeZone(std::string_view text);
  // Selector settings::STATUS_LINE (static 1058) or RESULT_LINE (static 1059).
  void ShowStatus(int selector, const std::string& text);

  // Import and Export on a chosen path: the controls and the caption from a
  // settings file, or the controls into one. False after a message box.
  BOOL LoadSettingsFile(const std::string& path);
  BOOL SaveSettingsFile(const std::string& path);

  // A command by id: the buttons' and those of menu 132. False for others.
  bool OnCommand(int id) override;

  // Fields, named as the rest of the tool knows them. The session holds the
  // dialog's reader (its run flag and thread) and the response events.
  std::string m_strImei;
  HANDLE m_hPort = nullptr;  // borrowed from the main window; never closed here
  int m_bBusy = 0;           // a write runs
  std::unique_ptr<settings::SettingsExchange> m_exchange;

  void OnImport();
  void OnExport();
  void OnGetDeviceSetting();
  void OnSetToDevice();
  void OnExitButton();
  // The end of a read or write ("WM_MESSAGESAVE_DONE"); `report` says how
  // it ended (a read or write that lost the line is reported in a box).
  void OnTransferDone();
  void OnTransferDone(const settings::TransferReport& report);

 protected:
  bool OnInitDialog() override;
  // The close procedure: refused while a write runs; otherwise stops the
  // session and ends the dialog. Escape goes through it too.
  void OnClose() override { CloseProcedure(IDCANCEL); }
  void OnCancel() override { CloseProcedure(IDCANCEL); }
  // Enter in a field never ends the dialog: the typed values stay.
  void OnOK() override {}
  void OnTimer(UINT id) override;
  // A field the user leaves may have changed: a verdict about other values
  // goes.
  void OnKillFocus(int id) override;

 private:
  void EnableMessageFields(unsigned messageNumber, bool on);
  void EnableSettingGroups(bool on);
  // Shows the controls of one layout and hides those of the other.
  void ApplyLayout(settings::SettingsLayout layout);
  // Hides the rows of both layouts until the tracker's version decides.
  void HideLayoutRows();
  // The tracker's line went away while no transfer ran: said once, the
  // fields stay as they are.
  void NoticeLostLine();
  // The box after a transfer that lost the line.
  void ReportLostTransfer(const settings::TransferReport& report);
  // The box after a write that ended without its OK on a line that stayed,
  // when it left messages deleted or unchecked.
  void ReportUnfinishedWrite(const settings::TransferReport& report);
  // The advice that ends such a box: `advice`, or what is left to do when a
  // close was asked for and the dialog ends with the box.
  const char* WriteBoxEnd(const char* advice) const;
  // After a read that followed an unfinished write: the messages the tracker
  // holds none of keep their fields, and a box says which.
  void KeepFieldsTheTrackerLacks();
  // Empties the status line when the fields no longer hold what its verdict
  // is about.
  void ForgetStaleVerdict();
  // The one layout of this opening: the session's (which took the version
  // answer, if any), or the remembered one before the session exists. The
  // controls, the settings file and the messages all follow it.
  settings::SettingsLayout SessionLayout() const;
  void FillStartLists();
  // Starts the session, then the version query and the text mode command
  // as background work; OnSessionOpened follows.
  void StartSession();
  void OnVersionAnswered(const settings::VersionAnswer& answer);
  void OnSessionOpened();
  // The version query and the text mode command as background work (the
  // dialog in its opening state meanwhile), then `then`.
  void AskVersionThen(const std::function<void()>& then);
  // Empties the fields and starts the read of the four messages.
  void StartReadingSettings();
  // Checks the fields and starts the write of the four messages.
  void StartWritingSettings();
  settings::ExchangeCallbacks SessionCallbacks();
  // The controls while a transfer runs: `writing` also disables Exit.
  void EnterTransferState(bool writing);
  // The controls back as in Idle.
  void LeaveTransferState();
  void PostTransferDone();
  void CloseProcedure(int result);
  // Cancels and stops the session: at once (bounded waits on this thread)
  // from the destructor, as background work from the close procedure.
  void StopSession();
  void StopSessionThen(const std::function<void()>& then);

  settings::ListSelection ListSelectionOf(int controlId) const;
  void SelectListPosition(int controlId, settings::ListSelection selection);

  bool m_bReading = false;                               // a read runs: its replies may fill the controls
  bool m_bStarting = false;                              // the opening runs: no command starts meanwhile
  bool m_bClosing = false;                               // the close procedure stops the session
  int m_nCloseAfterOpening = 0;                          // a close asked for during the opening
  bool m_bLineLossSaid = false;                          // the lost line was reported once
  bool m_bVersionAnswered = false;                       // the tracker told its version in this dialog
  WriteProgress m_writeProgress;                         // what the running (or last) write did to each message
  settings::DeviceSettings m_beforeRead;                 // the fields as they were when a read started
  unsigned m_readFound = 0;                              // bit n-1: the running read found message n
  bool m_readAfterUnfinishedWrite = false;               // the running read follows a write that did not finish
  std::optional<settings::DeviceSettings> m_verdictFor;  // the fields the status line's verdict is about
};
