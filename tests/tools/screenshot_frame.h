// Shared by the screenshot programs: the window under test drawn inside a
// sub-window frame (so the picture carries its caption, with or without a
// window manager) on a plain background, and the picture taken.
//
// With a display (DISPLAY set, for example under Xvfb) the programs run on
// the real X server and the picture is read back from the screen, as a user
// would see it; without one they fall back to the offscreen platform.
#pragma once

#include <cstdlib>

#include <QApplication>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QScreen>
#include <QTest>

namespace screenshot {

// Call before the QApplication is made.
inline void ChoosePlatform() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Shows `window` framed, saves the picture to `output` and hands the window
// back unframed. False when the picture could not be written.
inline bool SaveFramed(QWidget& window, const QIcon& icon, const char* output) {
  QMdiArea area;
  area.setBackground(QBrush(QColor(0x3a, 0x6e, 0xa5)));
  window.setWindowIcon(icon);
  QMdiSubWindow* frame = area.addSubWindow(&window, window.windowFlags() & ~Qt::Dialog);
  frame->adjustSize();
  area.resize(frame->width() + 24, frame->height() + 24);
  frame->move(12, 12);
  area.move(0, 0);
  area.show();
  (void)QTest::qWaitForWindowExposed(&area, 5000);
  QTest::qWait(300);  // the X server has drawn everything
  QPixmap picture;
  if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
    picture = area.grab();
  } else {
    picture = area.screen()->grabWindow(area.winId());
  }
  const bool saved = !picture.isNull() && picture.save(QString::fromLocal8Bit(output), "PNG");
  frame->setWidget(nullptr);
  window.setParent(nullptr);
  return saved;
}

}  // namespace screenshot
