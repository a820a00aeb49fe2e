// Open and save file dialogs, the stand-in for GetOpenFileName and the
// framework's file dialog: title, filters (the first one or a chosen one
// selected), flags, default extension and initial file name.
//
// Tests replace the dialogs with a hook that sees every request and answers
// with a path or a cancel.
//
// Thread contract: ShowFileDialog may be called from any thread; off the GUI
// thread it is carried out there (window_ref.h Send) and the caller waits. The
// hook runs on the GUI thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"
#include "ui/window_ref.h"

#ifdef _WIN32
#include <commdlg.h>
#else
constexpr DWORD OFN_OVERWRITEPROMPT = 0x2u;
constexpr DWORD OFN_HIDEREADONLY = 0x4u;
constexpr DWORD OFN_FILEMUSTEXIST = 0x1000u;
constexpr DWORD OFN_LONGNAMES = 0x200000u;
#endif

namespace ui {

struct FileFilter {
  std::string description;  // "Firmware Files (*.bin)"
  std::string pattern;      // "*.bin", or several: "*.ini;*.txt"
};

enum class FileDialogMode { Open, Save };

struct FileDialogRequest {
  FileDialogMode mode = FileDialogMode::Open;
  WindowRef owner;    // empty or gone: the main window
  std::string title;  // empty: the platform's own title
  std::vector<FileFilter> filters;
  int selectedFilter = 0;        // index into `filters`
  DWORD flags = 0;               // OFN_*
  std::string defaultExtension;  // without the dot; empty: none
  std::string initialName;       // empty: none
};

// The chosen path, or nothing when the user cancelled.
std::optional<std::string> ShowFileDialog(const FileDialogRequest& request);

// Parses the framework's filter string: "Setting file (*.ini)|*.ini|All files (*.*)|*.*||".
std::vector<FileFilter> ParseFilterString(std::string_view filters);

using FileDialogHook = std::function<std::optional<std::string>(const FileDialogRequest&)>;
// Installs the hook (an empty function restores real dialogs).
void SetFileDialogHook(FileDialogHook hook);

namespace detail {
// The toolkit's dialog, on the GUI thread.
std::optional<std::string> ShowFileDialogNow(const FileDialogRequest& request);
}  // namespace detail

}  // namespace ui
