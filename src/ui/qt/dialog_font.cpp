#include "ui/qt/dialog_font.h"

#include <QFontDatabase>
#include <QFontMetrics>

namespace ui::qt {

QFont DialogFont(const std::string& faceName, int pointSize) {
  QFont font;
  if (faceName.empty() || faceName == "System" || faceName == "MS Shell Dlg") {
    font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  } else {
    font = QFont(QString::fromStdString(faceName));
    font.setStyleHint(QFont::SansSerif);
  }
  if (pointSize > 0) font.setPointSize(pointSize);
  return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  return BaseUnitsFromMetrics(
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
      metrics.height());
}

}  // namespace ui::qt
