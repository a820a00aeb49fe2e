// The tool's own texts, in one place for the desktop tool and kvctl: window
// captions, message boxes, status lines and verdicts, byte for byte as the
// user sees them (their spelling and trailing blanks included; callers,
// tests and kvctl's scripts compare them exactly).
#pragma once

#include <string>
#include <string_view>

// ---- The main window ------------------------------------------------------

inline constexpr char MAIN_WINDOW_TITLE[] = "KV-770 User tool v1.4 (20090904)";
// Start's caption while no connection is open, and while one is.
inline constexpr char START_BUTTON_TEXT[] = "Start";
inline constexpr char STOP_BUTTON_TEXT[] = "Stop";

inline constexpr char OPEN_PORT_FAILED_TEXT[] = "Open COM port fail!!";
inline constexpr char NO_DEVICE_TEXT[] = "Device does not found!!";
// Start, Scan COM Port and Update with an empty port list.
inline constexpr char NO_TRACKER_PORT_TEXT[] = "No tracker port found. Connect the tracker by USB and try again.";
// The tracker's line went away under the tool: the cable pulled, the device
// removed, the line hung up. The main window's box, the settings transfer's
// status line and kvctl say it alike.
inline constexpr char TRACKER_DISCONNECTED_TEXT[] = "The tracker was disconnected.";

// ---- Update ---------------------------------------------------------------

// The boot loader did not ask for the file after the menu choice "1".
inline constexpr char RESET_DEVICE_TEXT[] = "Reset the Device and try again";
inline constexpr char ERROR_CAPTION[] = "Error";
inline constexpr char SUCCEED_CAPTION[] = "OK";
inline constexpr char FIRMWARE_DIALOG_TITLE[] = "Open a firmware file for KV770";
// The firmware file dialog's filters, in the framework's "name|pattern|...||" form.
inline constexpr char FIRMWARE_FILE_FILTER[] = "Firmware Files (*.bin)|*.bin|All Files (*.*)|*.*||";

// The update's result, around the image's file name.
inline constexpr char UPDATE_RESULT_START[] = "Update ";
inline constexpr char UPDATE_SUCCEED_END[] = " Succeed";
inline constexpr char UPDATE_FAILED_END[] = " Failed, Please check if USB cable is well connected to device and PC.";

inline std::string UpdateResultText(const std::string& baseName, bool succeeded) {
  return UPDATE_RESULT_START + baseName + (succeeded ? UPDATE_SUCCEED_END : UPDATE_FAILED_END);
}
// Added to the failure when the port could not be opened again after the
// hand-off (another program took it while the file dialog was open): the
// tracker waits in its boot loader, which only a reset leaves.
inline constexpr char UPDATE_PORT_TAKEN_START[] = "\nThe port ";
inline constexpr char UPDATE_PORT_TAKEN_END[] =
    " could not be opened again: another program may be using it. Close that program, reset the tracker and "
    "press Update again.";

// ---- The port scan --------------------------------------------------------

// "115200 scaning %s": the status line when the scan of a port begins.
inline constexpr char SCANNING_TEXT_START[] = "115200 scaning ";
// Appended to a port's entry after its scan.
inline constexpr char kScanOpenSuccess[] = "   -------->[Open Success]";
inline constexpr char kScanCheckFailed[] = "   -------->[Check failed]";
inline constexpr char kScanOpenFailed[] = "   -------->[Open failed]";
// The status line after the last port, and after OK.
inline constexpr char kScanComplete[] = "Complete Scan.";
inline constexpr char kScanBreak[] = "Break scan.";

// The verdict inside an entry suffix's brackets ("Open Success"), as kvctl's
// scan prints it.
constexpr std::string_view ScanVerdict(std::string_view suffix) {
  const std::size_t open = suffix.find('[');
  return suffix.substr(open + 1, suffix.size() - open - 2);
}

// ---- The Device Setting dialog and the settings transfer ------------------

// The caption an imported settings file gives the dialog, before its device name.
inline constexpr char IMPORTED_CAPTION_PREFIX[] = "Device Setting -- ";
// The file dialogs' filter of Import and Export.
inline constexpr char SETTING_FILE_FILTER[] = "Setting file (*.ini)|*.ini|All files (*.*)|*.*||";

namespace settings {

inline constexpr char SAVE_FILE_FAIL_TEXT[] = "Save file fail !!!";
// Import's box for a file it cannot read, before its path and the reason.
inline constexpr char SETTINGS_FILE_UNREADABLE_TEXT[] = "Cannot read the settings file ";
// Import's box for a file that holds no setting, around its path.
inline constexpr char SETTINGS_FILE_EMPTY_START[] = "No settings found in the settings file ";
inline constexpr char SETTINGS_FILE_EMPTY_END[] = ".\nNothing was imported; the fields keep their values.";
// Import's box for a file that lacks settings, around its path, before the
// captions of the settings it lacks, one a line.
inline constexpr char SETTINGS_FILE_LACKS_START[] = "The settings file ";
inline constexpr char SETTINGS_FILE_LACKS_END[] = " lacks these settings; their fields are now empty:";

// The Device Setting dialog lost the tracker while idle or during a read (or
// Get device setting came after the loss): the fields are as they were.
inline constexpr char LINE_LOST_FIELDS_KEPT_TEXT[] =
    "The tracker was disconnected. The fields keep their values; Export saves them to a file.";
// A read of which a message got no answer: the fields are as they were.
inline constexpr char READ_UNANSWERED_FIELDS_KEPT_TEXT[] =
    "The tracker did not answer every read; the fields keep their values. Check that the tracker is switched on, "
    "then press Get device setting again.";
// A write that lost the tracker: the box names what it left on the tracker
// (e.g. "messages 2, 3, 4 deleted and not yet rewritten; message 1 rewritten
// and checked") between these.
inline constexpr char WRITE_LINE_LOST_START[] = "The tracker was disconnected during Set to device: ";
inline constexpr char WRITE_LINE_LOST_END[] =
    ".\nThe tracker lacks these settings until they are written again. Export them to a file now; "
    "once the tracker is connected again, open Device Setting, Import the file and press Set to device.";

// A write that ended without its OK while the line stayed (no answer, ERROR
// answers, read-backs that never matched) and left messages changed: the box
// names what it left on the tracker between these.
inline constexpr char WRITE_UNFINISHED_START[] = "Set to device did not finish: ";
inline constexpr char WRITE_UNFINISHED_END[] =
    ".\nThe tracker lacks these settings until they are written again; the fields keep them. Check that the "
    "tracker is switched on and connected, then press Set to device again.";

// The end of either box above when the program was asked to close (a
// signal) during the write: it closes once the box is answered, so neither
// the fields nor an Export is there to finish the job with.
inline constexpr char WRITE_LEFT_ON_CLOSE_END[] =
    ".\nThe tracker lacks these settings until they are written again. kvtool was asked to close and closes when "
    "this box is answered: the fields are not kept. Once the tracker answers, write the settings again from a "
    "settings file (Import, then Set to device).";

// A read after a write that did not finish found messages empty: their
// fields keep the values that write was to store (after "The tracker holds
// no message(s) N, M").
inline constexpr char READ_UNWRITTEN_KEPT_END[] =
    " (Set to device did not finish); the fields of these settings keep their values. Press Set to device to "
    "write them.";

// The status line during a write, each before the message number (1 to 4).
inline constexpr char DELETE_MESSAGE_STATUS[] = "delete message ";
inline constexpr char SETTING_MESSAGE_STATUS[] = "setting message ";
inline constexpr char READ_MESSAGE_STATUS[] = "read message ";

// A write's verdict in the status line.
inline constexpr char SETTING_MESSAGE_OK_TEXT[] = "Setting Message OK ";
inline constexpr char SETTING_MESSAGE_ERROR_TEXT[] = "Setting Message error ";
inline constexpr char MESSAGE_WRITING_FAIL_TEXT[] = "Message writing fail ";
inline constexpr char SETTING_MESSAGE_TIMEOUT_TEXT[] = "Setting Message Time out ";

// The result line after a reply.
inline constexpr char REPLY_OK_TEXT[] = "OK";
inline constexpr char REPLY_ERROR_TEXT[] = "ERROR";

}  // namespace settings
