#include "ui/file_dialog.h"

#include <windows.h>

#include <commdlg.h>


#include "ui/application.h"
#include "ui/template_dialog.h"
#include "ui/win32/dialog_window.h"

namespace ui {
namespace {

// "description\0pattern\0...\0\0", the form the common dialogs take.
std::string FilterBlock(const std::vector<FileFilter>& filters) {
  std::string block;
  for (const FileFilter& f : filters) {
    block += f.description;
    block.push_back('\0');
    block += f.pattern;
    block.push_back('\0');
  }
  block.push_back('\0');
  return block;
}

}  // namespace

std::optional<std::string> detail::ShowFileDialogNow(const FileDialogRequest& request) {
  TemplateDialog* owner = request.owner.Get() != nullptr ? request.owner.Get() : MainWindow();
  char path[MAX_PATH] = {};
  request.initialName.copy(path, MAX_PATH - 1);
  const std::string filters = FilterBlock(request.filters);
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner != nullptr ? owner->Window().Handle() : nullptr;
  ofn.lpstrFilter = request.filters.empty() ? nullptr : filters.c_str();
  ofn.nFilterIndex = static_cast<DWORD>(request.selectedFilter + 1);
  ofn.lpstrFile = path;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrTitle = request.title.empty() ? nullptr : request.title.c_str();
  ofn.lpstrDefExt = request.defaultExtension.empty() ? nullptr : request.defaultExtension.c_str();
  ofn.Flags = request.flags | OFN_EXPLORER | OFN_NOCHANGEDIR;
  const bool chosen = request.mode == FileDialogMode::Save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  if (!chosen) return std::nullopt;
  return std::string(path);
}
}  // namespace ui
