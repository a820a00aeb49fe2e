// Saves pictures of two boxes of the Device Setting dialog, as the README
// shows them: the box after a cable pulled during Set to device (message 2
// being written), and Import refusing a file without settings. Runs on the X
// server of DISPLAY (offscreen without one); see screenshot_frame.h.
//
// Usage: device_setting_boxes_screenshot PULLED.png REFUSED.png
#include <cstdio>
#include <functional>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "../gui/qt_controls.h"
#include "app/main_dlg.h"
#include "app/tool_app.h"
#include "platform/clock.h"
#include "res/resource_ids.h"
#include "screenshot_frame.h"
#include "app/device_setting_dlg.h"
#include "sim_tracker.h"
#include "ui/application.h"
#include "ui/qt/qt_access.h"

namespace {

bool WaitUntil(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 30000) QTest::qWait(20);
  return done();
}

// Saves the next message box that shows, then closes it.
void SaveNextBox(const char* output, bool& saved) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, output, &saved] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    poll->stop();
    poll->deleteLater();
    (void)QTest::qWaitForWindowExposed(box, 5000);
    QTest::qWait(300);
    QPixmap picture = QGuiApplication::platformName() == QLatin1String("offscreen")
                          ? box->grab()
                          : box->screen()->grabWindow(box->winId());
    saved = !picture.isNull() && picture.save(QString::fromLocal8Bit(output), "PNG");
    box->done(QMessageBox::Ok);
  });
  poll->start(50);
}

bool Idle(CDeviceSettingDlg& dialog) { return ui::qt::Control(dialog, IDC_BTN_GET_DEVICE_SETTING)->isEnabled(); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PULLED.png REFUSED.png\n", argv[0]);
    return 2;
  }
  screenshot::ChoosePlatform();
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("kvtool"));
  CToolApp tool;

  sim::SimTracker tracker;
  if (!tracker.Start()) {
    std::fprintf(stderr, "no pseudo-terminal for the simulated tracker\n");
    return 1;
  }
  platform::SetClockSpeed(20.0);
  CMainDlg window([] { return std::vector<platform::PortInfo>{}; });
  ui::SetMainWindow(&window);
  window.PreselectPort(tracker.PortPath());
  window.ShowModeless();
  QTest::mouseClick(StartButton(window), Qt::LeftButton);
  if (!WaitUntil([&] { return SettingButton(window)->isEnabled(); })) {
    std::fprintf(stderr, "the simulated tracker did not connect\n");
    return 1;
  }

  bool pulledSaved = false;
  bool refusedSaved = false;
  {
    window.m_reader->m_bReaderPaused = 1;
    CDeviceSettingDlg dialog(window.m_hPort, &window);
    dialog.SetImei(ImeiLabel(window)->text().toStdString());
    dialog.ShowModeless();
    if (!WaitUntil([&] { return Idle(dialog); })) return 1;
    dialog.OnSetToDevice();
    if (!WaitUntil([&] { return tracker.CommandCount("at+cmgw=+2\r") == 1; })) return 1;
    platform::SetClockSpeed(1.0);
    SaveNextBox(argv[1], pulledSaved);
    tracker.PullCable();
    WaitUntil([&] { return Idle(dialog) && pulledSaved; });

    QTemporaryDir folder;
    const QString empty = folder.filePath(QStringLiteral("notes.ini"));
    QFile file(empty);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    file.close();
    SaveNextBox(argv[2], refusedSaved);
    dialog.LoadSettingsFile(empty.toStdString());
  }
  window.m_reader->m_bReaderPaused = 0;
  ui::SetMainWindow(nullptr);
  tracker.Stop();
  if (!pulledSaved || !refusedSaved) {
    std::fprintf(stderr, "could not write the pictures\n");
    return 1;
  }
  return 0;
}
