#include "ui/qt/text.h"
#include "ui/window_text.h"

#include <QFile>

namespace ui {

QString ToQt(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

std::string FromQt(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (const QChar c : text) out.push_back(c.unicode() < 0x100 ? static_cast<char>(c.unicode()) : '?');
  return out;
}

QString PathToQt(std::string_view path) {
  return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

std::string PathFromQt(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace ui

namespace ui {
std::string PathToWindowText(std::string_view path) { return FromQt(PathToQt(path)); }
}  // namespace ui
