#include "ui/file_dialog.h"

#include <mutex>

#include <QCoreApplication>
#include <QFileDialog>
#include <QStringList>

#include "ui/application.h"
#include "ui/gui_call.h"
#include "ui/text.h"

namespace ui {
namespace {
std::mutex g_hookLock;
FileDialogHook g_hook;

FileDialogHook CurrentHook() {
  std::lock_guard<std::mutex> lock(g_hookLock);
  return g_hook;
}

// "Firmware Files (*.bin)" with "*.bin" becomes the Qt filter
// "Firmware Files (*.bin) (*.bin)" unless the description already ends with
// the patterns in parentheses, as it usually does.
QString QtFilter(const FileFilter& filter) {
  QString patterns = ToQt(filter.pattern);
  patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
  const QString description = ToQt(filter.description);
  if (description.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')'))) return description;
  return description + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

std::optional<std::string> ShowHere(const FileDialogRequest& request) {
  if (FileDialogHook hook = CurrentHook()) return hook(request);
  QWidget* owner = request.owner.isNull() ? MainWindow() : request.owner.data();
  QFileDialog dialog(owner, ToQt(request.title));
  const bool save = request.mode == FileDialogMode::Save;
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save || !(request.flags & OFN_FILEMUSTEXIST) ? QFileDialog::AnyFile
                                                                    : QFileDialog::ExistingFile);
  if (save && !(request.flags & OFN_OVERWRITEPROMPT)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  QStringList filters;
  for (const FileFilter& f : request.filters) filters << QtFilter(f);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const int selected = request.selectedFilter >= 0 && request.selectedFilter < filters.size()
                             ? request.selectedFilter
                             : 0;
    dialog.selectNameFilter(filters[selected]);
  }
  if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(ToQt(request.defaultExtension));
  if (!request.initialName.empty()) dialog.selectFile(PathToQt(request.initialName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return PathFromQt(dialog.selectedFiles().front());
}
}  // namespace

std::optional<std::string> ShowFileDialog(const FileDialogRequest& request) {
  std::optional<std::string> result;
  SendToGui([&] { result = ShowHere(request); });
  return result;
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

void SetFileDialogHook(FileDialogHook hook) {
  std::lock_guard<std::mutex> lock(g_hookLock);
  g_hook = std::move(hook);
}

}  // namespace ui
