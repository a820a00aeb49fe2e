#include "ui/file_dialog.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QStringList>

#include "ui/application.h"
#include "ui/qt/dialog_window.h"
#include "ui/qt/text.h"
#include "ui/template_dialog.h"

namespace ui {
namespace {

// "Firmware Files (*.bin)" with "*.bin" becomes the Qt filter
// "Firmware Files (*.bin) (*.bin)" unless the description already ends with
// the patterns in parentheses, as it usually does.
QString QtFilter(const FileFilter& filter) {
  QString patterns = ToQt(filter.pattern);
  patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
  QString description = ToQt(filter.description);
  if (description.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')'))) return description;
  return description + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

}  // namespace

std::optional<std::string> detail::ShowFileDialogNow(const FileDialogRequest& request) {
  TemplateDialog* ownerDialog = request.owner.Get() != nullptr ? request.owner.Get() : MainWindow();
  QWidget* owner = ownerDialog != nullptr ? &ownerDialog->Window() : nullptr;
  QFileDialog dialog(owner, ToQt(request.title));
  const bool save = request.mode == FileDialogMode::Save;
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save || !(request.flags & OFN_FILEMUSTEXIST) ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (save && !(request.flags & OFN_OVERWRITEPROMPT)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  QStringList filters;
  for (const FileFilter& f : request.filters) filters << QtFilter(f);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const int selected =
        request.selectedFilter >= 0 && request.selectedFilter < filters.size() ? request.selectedFilter : 0;
    dialog.selectNameFilter(filters[selected]);
  }
  if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(ToQt(request.defaultExtension));
  if (!request.initialName.empty()) dialog.selectFile(PathToQt(request.initialName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return PathFromQt(dialog.selectedFiles().front());
}
}  // namespace ui
