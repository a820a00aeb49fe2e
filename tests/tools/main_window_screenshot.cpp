// Saves a picture of the main window connected to a simulated tracker, its
// IMEI on show and Setting enabled, as the README shows it. Runs on the X
// server of DISPLAY (offscreen without one); see screenshot_frame.h.
//
// Usage: main_window_screenshot OUTPUT.png
#include <cstdio>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include "../gui/qt_controls.h"
#include "ui/qt/qt_access.h"
#include "app/main_dlg.h"
#include "app/tool_app.h"
#include "platform/clock.h"
#include <QApplication>
#include "screenshot_frame.h"
#include "sim_tracker.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 2;
  }
  screenshot::ChoosePlatform();
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("kvtool"));
  CToolApp tool;  // name, icon and version as the program has them

  sim::SimTracker tracker;
  if (!tracker.Start()) {
    std::fprintf(stderr, "no pseudo-terminal for the simulated tracker\n");
    return 1;
  }
  platform::SetClockSpeed(10.0);  // the five IMEI ticks in half a second

  // No ports of this machine in the picture: only the simulated tracker.
  CMainDlg window([] { return std::vector<platform::PortInfo>{}; });
  window.PreselectPort(tracker.PortPath());
  window.ShowModeless();
  QTest::mouseClick(StartButton(window), Qt::LeftButton);
  QElapsedTimer clock;
  clock.start();
  while (!SettingButton(window)->isEnabled() && clock.elapsed() < 20000) QTest::qWait(20);
  if (!SettingButton(window)->isEnabled()) {
    std::fprintf(stderr, "the simulated tracker did not connect\n");
    return 1;
  }
  platform::SetClockSpeed(1.0);
  StartButton(window)->setFocus();

  const bool saved = screenshot::SaveFramed(*ui::qt::Window(window), QApplication::windowIcon(), argv[1]);
  window.OnStart();  // Stop: the reader ends before the tracker goes away
  tracker.Stop();
  if (!saved) {
    std::fprintf(stderr, "could not write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
