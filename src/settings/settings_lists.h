// The fixed drop-down lists of the settings, the report-mode numbers the
// tracker uses, time-zone selection and the number rule that list values
// are read with.
//
// Thread contract: constant data and pure functions; any thread.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "settings/settings_table.h"

namespace settings {

// A list's state: the selected position (0 is the first item) or no selection.
using ListSelection = std::optional<int>;

// Item texts of a list, in their order (empty for SettingList::None).
std::span<const std::string_view> ListItems(SettingList list);

// The selection of `position` in `list`: no selection when it is out of range.
ListSelection SelectPosition(SettingList list, long long position);

// Text of the selected item, empty with no selection.
std::string_view SelectedItemText(SettingList list, ListSelection selection);

// Position of the item whose text equals `text` exactly, if any.
ListSelection FindListItem(SettingList list, std::string_view text);

constexpr int TIME_ZONE_COUNT = 26;
constexpr int TIME_ZONE_UTC_POSITION = 13;    // "+0.00"
constexpr int REPORT_MODE_STOP_POSITION = 2;  // "Stop report"
constexpr int REPORT_MODE_COUNT = 8;

// Time-zone selection from a text (a file value or a message field): the item
// whose text equals the given text byte for byte, otherwise "+0.00".
int SelectTimeZone(std::string_view text);

// Report mode number the tracker uses for a report-mode list position, or no
// value for no selection or a position outside the list.
std::optional<int> ReportModeCode(ListSelection position);

// The way back: list position of a report mode number; every number that is
// not one of the tracker's modes (2 included) gives "Stop report".
int ReportModePosition(long long code);

// A number as the tracker's list fields and file values are read: leading
// blanks skipped, an optional sign, then decimal digits up to the first other
// character; no digits give 0. Saturates instead of overflowing.
long long ParseListNumber(std::string_view text);

}  // namespace settings
