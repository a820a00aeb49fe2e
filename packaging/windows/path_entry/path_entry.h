// Adding and removing one folder in a PATH value (entries separated by
// semicolons) without touching the rest of it: no length limit, the other
// entries kept byte for byte, in order, with their own spelling.
//
// Thread contract: plain functions, any thread.
#pragma once

#include <optional>
#include <string>

namespace path_entry {

// True when `entry` names `folder`: letter case, surrounding double quotes
// and a trailing backslash do not count (Windows reads them alike).
bool SameFolder(const std::wstring& entry, const std::wstring& folder);

// `value` with `folder` appended, or nothing when an entry already names it.
// A value that ends with a semicolon gets "folder;", any other ";folder",
// so that RemoveEntry gives back exactly the value before. A folder with a
// semicolon in its name goes in quoted.
std::optional<std::wstring> AddEntry(const std::wstring& value, const std::wstring& folder);

// `value` without the last entry that names `folder` and its one separator
// (the one after it, or the one before it when it is the last entry), or
// nothing when no entry names it. Other entries naming it stay.
std::optional<std::wstring> RemoveEntry(const std::wstring& value, const std::wstring& folder);

}  // namespace path_entry
