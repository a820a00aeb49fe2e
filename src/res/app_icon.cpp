#include "res/app_icon.h"

#include <QPixmap>

namespace res {

QIcon AppIcon() {
  QPixmap pixmap;
  pixmap.loadFromData(kAppIconPng, kAppIconPngSize, "PNG");
  return QIcon(pixmap);
}

}  // namespace res
