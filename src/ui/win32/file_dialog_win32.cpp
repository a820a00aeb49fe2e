#include "ui/file_dialog.h"

#include <windows.h>

#include <commdlg.h>

#include "platform/wide_text.h"
#include "ui/application.h"
#include "ui/template_dialog.h"
#include "ui/win32/dialog_window.h"

namespace ui {
namespace {

// Texts of the dialog in UTF-16; a text that is not UTF-8 is left out.
std::wstring Wide(const std::string& utf8) {
  std::wstring wide;
  return platform::Utf8ToWide(utf8, wide) ? wide : std::wstring();
}

// "description\0pattern\0...\0\0", the form the common dialogs take.
std::wstring FilterBlock(const std::vector<FileFilter>& filters) {
  std::wstring block;
  for (const FileFilter& f : filters) {
    block += Wide(f.description);
    block.push_back(L'\0');
    block += Wide(f.pattern);
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

// Room for a long path (the dialog takes more than MAX_PATH when asked).
constexpr DWORD kPathRoom = 32768;

}  // namespace

// The wide dialogs: the chosen path comes back in UTF-16 and is handed on in
// UTF-8, the encoding the settings files and the firmware image are opened by.
std::optional<std::string> detail::ShowFileDialogNow(const FileDialogRequest& request) {
  TemplateDialog* owner = request.owner.Get() != nullptr ? request.owner.Get() : MainWindow();
  std::wstring path(kPathRoom, L'\0');
  const std::wstring initial = Wide(request.initialName);
  initial.copy(path.data(), kPathRoom - 1);
  const std::wstring filters = FilterBlock(request.filters);
  const std::wstring title = Wide(request.title);
  const std::wstring extension = Wide(request.defaultExtension);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner != nullptr ? owner->Window().Handle() : nullptr;
  ofn.lpstrFilter = request.filters.empty() ? nullptr : filters.c_str();
  ofn.nFilterIndex = static_cast<DWORD>(request.selectedFilter + 1);
  ofn.lpstrFile = path.data();
  ofn.nMaxFile = kPathRoom;
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  ofn.Flags = request.flags | OFN_EXPLORER | OFN_NOCHANGEDIR;
  const bool chosen = request.mode == FileDialogMode::Save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  if (!chosen) return std::nullopt;
  path.resize(path.find(L'\0'));
  std::string utf8;
  if (!platform::WideToUtf8(path, utf8)) return std::nullopt;  // a name no file of ours can carry
  return utf8;
}
}  // namespace ui
