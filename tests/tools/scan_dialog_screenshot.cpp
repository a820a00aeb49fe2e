// Saves a picture of the Scan COM Port dialog after a complete scan of three
// ports: a simulated tracker that answers, one that stays silent and a port
// that cannot be opened. Runs on the X server of DISPLAY (offscreen without
// one); see screenshot_frame.h.
//
// Usage: scan_dialog_screenshot OUTPUT.png
#include <cstdio>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

#include "../gui/qt_controls.h"
#include "ui/qt/qt_access.h"
#include "app/main_dlg.h"
#include "app/tool_app.h"
#include "platform/clock.h"
#include <QApplication>
#include "serial/port_items.h"
#include "serial/port_scan.h"
#include "app/scan_port_dlg.h"
#include "screenshot_frame.h"
#include "sim_tracker.h"
#include "ui/application.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 2;
  }
  screenshot::ChoosePlatform();
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("kvtool"));
  CToolApp tool;

  sim::SimTracker answering;
  sim::SimOptions silentOptions;
  silentOptions.menu.probeAnswer = sim::ProbeAnswer::Silent;
  sim::SimTracker silent(silentOptions);
  if (!answering.Start() || !silent.Start()) {
    std::fprintf(stderr, "no pseudo-terminal for the simulated trackers\n");
    return 1;
  }
  platform::SetClockSpeed(50.0);  // the silent port's probe in half a second

  CMainDlg window([] { return std::vector<platform::PortInfo>{}; });
  ui::SetMainWindow(&window);
  window.ShowModeless();
  std::vector<std::string> items = {PortItemText(silent.PortPath()), PortItemText("/dev/ttyUSB1"),
                                    PortItemText(answering.PortPath())};

  bool saved = false;
  {
    CScanPortDlg dialog(items, &window);
    dialog.ShowModeless();
    QElapsedTimer clock;
    clock.start();
    const QString complete = QString::fromLatin1(kScanComplete);
    while (ScanStatus(dialog)->text() != complete && clock.elapsed() < 30000) QTest::qWait(20);
    if (ScanStatus(dialog)->text() != complete) {
      std::fprintf(stderr, "the scan did not complete\n");
      return 1;
    }
    platform::SetClockSpeed(1.0);
    saved = screenshot::SaveFramed(*ui::qt::Window(dialog), QApplication::windowIcon(), argv[1]);
  }
  ui::SetMainWindow(nullptr);
  answering.Stop();
  silent.Stop();
  if (!saved) {
    std::fprintf(stderr, "could not write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
