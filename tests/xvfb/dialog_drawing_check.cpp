// Checks on a real X server that every file dialog and message box the tool
// shows is drawn: the window's pixels on the screen are compared with what
// the window paints itself. A window that is never drawn stays black on the
// screen while it still takes keys, so only the screen shows the fault.
//
// Runs the dialogs as the tool shows them: Import and Export from the
// Device Setting dialog, shown modally from a click in the main window; the
// update's result boxes from a worker thread; Import's boxes from the
// dialog's click.
//
// Usage: dialog_drawing_check (under Xvfb, with or without a window manager;
// tests/xvfb/dialog_drawing_test.sh). Exit 0 when every window was drawn.
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/main_dlg.h"
#include "app/tool_app.h"
#include "common/tool_texts.h"
#include "res/resource_ids.h"
#include "app/device_setting_dlg.h"
#include "ui/application.h"
#include "ui/message_box.h"
#include "ui/qt/qt_access.h"

namespace {

int g_failures = 0;

// The share of the window's pixels that the screen shows as the window
// paints them.
double DrawnShare(QWidget& window) {
  const QImage painted = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage shown = window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
  if (painted.isNull() || shown.isNull() || painted.size() != shown.size()) return 0.0;
  long same = 0;
  for (int y = 0; y < painted.height(); ++y) {
    const auto* a = reinterpret_cast<const QRgb*>(painted.constScanLine(y));
    const auto* b = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
    for (int x = 0; x < painted.width(); ++x) {
      if (std::abs(qRed(a[x]) - qRed(b[x])) + std::abs(qGreen(a[x]) - qGreen(b[x])) +
              std::abs(qBlue(a[x]) - qBlue(b[x])) < 24)
        ++same;
    }
  }
  return static_cast<double>(same) / (static_cast<double>(painted.width()) * painted.height());
}

// While `trigger` runs (it shows a modal window and returns once it is
// closed), waits for a modal window of type W, checks that the screen shows
// it drawn, then closes it.
template <class W>
void CheckDrawn(const char* what, const std::function<void()>& trigger) {
  bool seen = false;
  double share = 0.0;
  QTimer poll;
  QElapsedTimer clock;
  clock.start();
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* window = qobject_cast<W*>(QApplication::activeModalWidget());
    if (window == nullptr) return;
    if (!seen) {
      seen = true;
      clock.restart();
    }
    // Drawn within a second of showing, as any window on this server is.
    share = DrawnShare(*window);
    if (share > 0.9 || clock.elapsed() > 1000) {
      poll.stop();
      window->reject();
    }
  });
  poll.start(100);
  trigger();
  poll.stop();
  const bool drawn = seen && share > 0.9;
  if (!drawn) ++g_failures;
  std::printf("%-40s %s (%.0f %% of the window as painted)\n", what, drawn ? "drawn" : "NOT DRAWN", share * 100);
}

QPushButton* Button(const ui::TemplateDialog& d, int id) { return ui::qt::ControlAs<QPushButton>(d, id); }

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (QGuiApplication::platformName() != QLatin1String("xcb")) {
    std::fprintf(stderr, "dialog_drawing_check needs an X server (DISPLAY)\n");
    return 2;
  }
  QCoreApplication::setApplicationName(QStringLiteral("kvtool"));
  CToolApp tool;
  QTemporaryDir folder;
  const std::string empty = folder.filePath(QStringLiteral("empty.ini")).toStdString();
  {
    QFile file(QString::fromStdString(empty));
    if (!file.open(QIODevice::WriteOnly)) return 2;
  }

  CMainDlg window([] { return std::vector<platform::PortInfo>{}; });
  ui::SetMainWindow(&window);
  window.ShowModeless();
  (void)QTest::qWaitForWindowExposed(ui::qt::Window(window), 5000);

  // The Device Setting dialog modal, opened from a click as Setting does.
  CDeviceSettingDlg dialog(INVALID_HANDLE_VALUE, &window);
  dialog.SetImei("356938035643809");
  QTimer::singleShot(0, [&] {
    QTest::qWait(500);
    QDialog* d = ui::qt::Window(dialog);
    CheckDrawn<QFileDialog>("Import's file dialog", [&] { Button(dialog, IDC_BTN_IMPORT)->click(); });
    CheckDrawn<QFileDialog>("Export's file dialog", [&] { Button(dialog, IDC_BTN_EXPORT)->click(); });
    CheckDrawn<QMessageBox>("Import's refusal box", [&] { dialog.LoadSettingsFile(empty); });
    d->done(0);
  });
  dialog.DoModal();

  // The update's result boxes, shown by the update thread.
  for (const bool succeeded : {true, false}) {
    const std::string text = UpdateResultText("kv770.bin", succeeded);
    CheckDrawn<QMessageBox>(succeeded ? "Update's \"Succeed\" box" : "Update's \"Failed\" box", [&] {
      std::atomic<bool> done{false};
      std::thread worker([&, ref = window.Ref()] {
        ui::ShowMessageBox(ref, text, succeeded ? SUCCEED_CAPTION : ERROR_CAPTION, succeeded ? MB_OK : MB_ICONERROR);
        done = true;
      });
      while (!done) QTest::qWait(20);
      worker.join();
    });
  }
  ui::SetMainWindow(nullptr);
  std::printf("%s\n", g_failures == 0 ? "every window was drawn" : "some windows were not drawn");
  return g_failures == 0 ? 0 : 1;
}
