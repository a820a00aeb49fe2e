// The settings file: a Windows profile (INI) file with the section
// "KV DEVICE SETTING" for the device name and "MESSAGE 1" to "MESSAGE 4"
// for the settings, one key per setting in the settings table's order. The
// extended-layout keys are written and read in the extended layout only.
//
// Thread contract: pure functions on caller-owned data, plus the file named;
// no shared state.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/tool_texts.h"
#include "settings/device_settings.h"

namespace settings {

// SAVE_FILE_FAIL_TEXT (common/tool_texts.h): the message the dialog shows
// when a settings file cannot be written.

// A value as the settings file holds it: an edit's first 255 characters, a
// list position in decimal, the time zone's item text, the report mode's
// number; empty for a list without a selection and for "Stop report".
std::string FileValueText(const DeviceSettings& s, SettingId id);

// Sets a value from a settings-file value (a missing key reads as empty): an
// edit takes the text; a list takes the position the value's number gives,
// or no selection for an empty value or a number that is no position, except
// that an empty "SMS report format" keeps its selection; the time zone takes
// the item equal to the value or "+0.00"; the report mode maps the mode
// number, and an empty value gives "Stop report".
void SetFromFileValue(DeviceSettings& s, SettingId id, std::string_view value);

// The bytes of a freshly written settings file.
std::string SettingsFileText(const DeviceSettings& s, SettingsLayout layout);

// Applies the bytes of a settings file to the record: the device name and
// every key of the layout; values of keys the layout has no place for are
// left as they were. Never fails; a missing key counts as an empty value.
// A file with a UTF-16 or UTF-8 byte-order mark is read in code page 1252;
// a character that code page cannot hold arrives as platform::ANSI_SUBSTITUTE,
// which the check before a write refuses. Returns the settings of the layout
// whose key the file does not hold, in table order.
std::vector<const SettingInfo*> ApplySettingsFileText(std::string_view bytes, SettingsLayout layout, DeviceSettings& s);

enum class LoadResult { Ok, CannotRead };

struct LoadReport {
  LoadResult result = LoadResult::Ok;
  // Why the file could not be read ("no such file", "is a directory",
  // "permission denied", "too large (more than 1 MiB)", "not a regular
  // file", "read error"); empty when it was.
  std::string reason;
  // The settings of the layout (the device name included) whose key the file
  // lacks, in table order; every one of them when it could not be read.
  std::vector<const SettingInfo*> missing;
  // How many settings the layout keeps in a file.
  std::size_t settingsInLayout = 0;

  bool Ok() const { return result == LoadResult::Ok; }
  // The file held at least one setting of the layout.
  bool AnyFound() const { return Ok() && missing.size() < settingsInLayout; }
};

// Reads a settings file into the record. Only a regular file of at most
// 1 MiB is read (a folder, FIFO, device or bigger file fails at once,
// without blocking). A file that cannot be read acts as an empty file (every
// value applied as missing), and the report says so and why.
LoadReport LoadSettingsFileReport(const std::string& path, SettingsLayout layout, DeviceSettings& s);
// The same, giving only the result.
LoadResult LoadSettingsFile(const std::string& path, SettingsLayout layout, DeviceSettings& s);

// Writes the record as a settings file in one step: on false (show
// SAVE_FILE_FAIL_TEXT) any file at `path` is left as it was. A new file is
// readable by its owner only (it holds the GPRS password); an existing one
// keeps its permissions.
bool SaveSettingsFile(const std::string& path, SettingsLayout layout, const DeviceSettings& s);

// The path Export writes to: ".ini" appended unless the path already holds
// ".ini" anywhere (letter case counts).
std::string ExportPath(std::string_view chosenPath);

}  // namespace settings
