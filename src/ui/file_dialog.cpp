#include "ui/file_dialog.h"

#include <mutex>

#include "ui/message_box.h"

namespace ui {
namespace {
std::mutex g_hookLock;
FileDialogHook g_hook;

FileDialogHook CurrentHook() {
  std::lock_guard<std::mutex> lock(g_hookLock);
  return g_hook;
}
}  // namespace

std::optional<std::string> ShowFileDialog(const FileDialogRequest& request) {
  std::optional<std::string> result;
  SendToGui([&] {
    const detail::ModalQuestionScope open;
    if (FileDialogHook hook = CurrentHook()) {
      result = hook(request);
    } else {
      result = detail::ShowFileDialogNow(request);
    }
  });
  return result;
}

void SetFileDialogHook(FileDialogHook hook) {
  std::lock_guard<std::mutex> lock(g_hookLock);
  g_hook = std::move(hook);
}

std::vector<FileFilter> ParseFilterString(std::string_view filters) {
  std::vector<FileFilter> out;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start < filters.size()) {
    const std::size_t bar = filters.find('|', start);
    const std::size_t end = bar == std::string_view::npos ? filters.size() : bar;
    parts.emplace_back(filters.substr(start, end - start));
    start = end + 1;
  }
  // Pairs of description and pattern; the empty fields of the closing "||" end the list.
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;
    out.push_back(FileFilter{parts[i], parts[i + 1]});
  }
  return out;
}

}  // namespace ui
