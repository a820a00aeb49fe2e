// Checks on a real X server that every file dialog and message box the tool
// shows is drawn on the screen: the screen's pixels at the window's place
// (Xvfb's framebuffer, what a monitor shows) are compared with what the
// window paints itself.
//
// Runs the windows as a user reaches them, against a simulated tracker:
// Start and Setting clicked in the main window, Import and Export clicked in
// the Device Setting dialog (modal inside the main window's), Import's
// refusal of a file without settings, and the update's result boxes shown
// from a worker thread. A window covered by another first proves that the
// comparison sees a window the screen does not show.
//
// Usage: KV_FRAMEBUFFER=DIR/Xvfb_screen0 dialog_drawing_check, under an Xvfb
// started with -fbdir DIR, with or without a window manager
// (tests/xvfb/dialog_drawing_test.sh). Exit 0 when every window was drawn.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/main_dlg.h"
#include "app/tool_app.h"
#include "common/tool_texts.h"
#include "platform/clock.h"
#include "res/resource_ids.h"
#include "screen_framebuffer.h"
#include "sim_tracker.h"
#include "ui/application.h"
#include "ui/message_box.h"
#include "ui/qt/qt_access.h"

namespace {

int g_failures = 0;
QString g_framebuffer;

// The share of the window's pixels that the screen shows as the window
// paints them.
double DrawnShare(QWidget& window) {
  const QImage painted = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage shown = xvfb::ReadFramebuffer(g_framebuffer, QRect(window.mapToGlobal(QPoint(0, 0)), window.size()));
  if (painted.isNull() || shown.isNull() || painted.size() != shown.size()) return 0.0;
  long same = 0;
  for (int y = 0; y < painted.height(); ++y) {
    const auto* a = reinterpret_cast<const QRgb*>(painted.constScanLine(y));
    const auto* b = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
    for (int x = 0; x < painted.width(); ++x) {
      if (std::abs(qRed(a[x]) - qRed(b[x])) + std::abs(qGreen(a[x]) - qGreen(b[x])) +
              std::abs(qBlue(a[x]) - qBlue(b[x])) <
          24)
        ++same;
    }
  }
  return static_cast<double>(same) / (static_cast<double>(painted.width()) * painted.height());
}

bool WaitUntil(const std::function<bool()>& done, int ms = 30000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) QTest::qWait(20);
  return done();
}

void Report(const char* what, bool drawn, double share) {
  if (!drawn) ++g_failures;
  std::printf("%-40s %s (%.0f %% of the window as painted)\n", what, drawn ? "drawn" : "NOT DRAWN", share * 100);
  std::fflush(stdout);
}

// While `trigger` runs (it shows a modal window and returns once it is
// closed), waits for a modal window of type W, checks that the screen shows
// it drawn, then closes it with `close` (reject by default).
template <class W>
void CheckDrawn(
    const char* what, const std::function<void()>& trigger,
    const std::function<void(W&)>& close = [](W& w) { w.reject(); }) {
  bool seen = false;
  double share = 0.0;
  QTimer poll;
  QElapsedTimer clock;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* window = qobject_cast<W*>(QApplication::activeModalWidget());
    if (window == nullptr) return;
    if (!seen) {
      seen = true;
      clock.start();
    }
    // Drawn within two seconds of showing, as any window on this server is.
    share = DrawnShare(*window);
    if (share > 0.9 || clock.elapsed() > 2000) {
      poll.stop();
      close(*window);
    }
  });
  poll.start(100);
  trigger();
  poll.stop();
  Report(what, seen && share > 0.9, share);
}

// The comparison must see a window that the screen does not show: a label
// window, drawn, then covered by a black window that bypasses the window
// manager.
bool ComparisonSeesACoveredWindow() {
  QLabel shown(QStringLiteral("a window the screen shows"));
  shown.setAutoFillBackground(true);
  shown.setStyleSheet(QStringLiteral("background: white; color: black; font-size: 20px"));
  shown.resize(400, 200);
  shown.move(100, 100);
  shown.show();
  if (!QTest::qWaitForWindowExposed(&shown, 5000)) return false;
  double share = 0.0;
  WaitUntil([&] { return (share = DrawnShare(shown)) > 0.9; }, 3000);
  const bool seenDrawn = share > 0.9;
  QWidget cover(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  cover.setStyleSheet(QStringLiteral("background: black"));
  cover.setGeometry(QRect(shown.mapToGlobal(QPoint(0, 0)), shown.size()));
  cover.show();
  (void)QTest::qWaitForWindowExposed(&cover, 5000);
  WaitUntil([&] { return (share = DrawnShare(shown)) < 0.5; }, 3000);
  const bool seenCovered = share < 0.5;
  std::printf("%-40s %s\n", "control: a window drawn, then covered",
              seenDrawn && seenCovered ? "seen as drawn, then as not drawn" : "NOT TOLD APART");
  return seenDrawn && seenCovered;
}

QPushButton* ButtonIn(QWidget& window, const QString& text) {
  for (QPushButton* button : window.findChildren<QPushButton*>())
    if (button->text() == text) return button;
  return nullptr;
}

QWidget* ModalTitled(const QString& title) {
  QWidget* modal = QApplication::activeModalWidget();
  return modal != nullptr && modal->windowTitle() == title ? modal : nullptr;
}

// Inside the Device Setting dialog, once it has read the tracker: Import and
// Export as clicked, and Import of a file without settings.
void CheckDeviceSettingWindows(const std::string& emptyFile) {
  QWidget* dialog = nullptr;
  const QString get = QString::fromLatin1("Get device setting");
  if (!WaitUntil([&] {
        dialog = ModalTitled(QStringLiteral("Device Setting"));
        return dialog != nullptr && ButtonIn(*dialog, get) != nullptr && ButtonIn(*dialog, get)->isEnabled();
      })) {
    std::printf("the Device Setting dialog did not become ready\n");
    ++g_failures;
    if (dialog != nullptr) static_cast<QDialog*>(dialog)->done(0);
    return;
  }
  auto click = [&](const char* text) {
    return [dialog, text] { QTest::mouseClick(ButtonIn(*dialog, QString::fromLatin1(text)), Qt::LeftButton); };
  };
  CheckDrawn<QFileDialog>("Import's file dialog", click("Import"));
  CheckDrawn<QFileDialog>("Export's file dialog", click("Export"));
  // Import's refusal: the file dialog takes the empty file, then the box.
  QTimer accept;
  QObject::connect(&accept, &QTimer::timeout, [&] {
    if (auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      // As a user does: the path typed into the name field, then Return.
      auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      if (name == nullptr || !name->isVisible()) return;
      accept.stop();
      name->setText(QString::fromStdString(emptyFile));
      QTest::keyClick(name, Qt::Key_Return);
    }
  });
  accept.start(50);
  CheckDrawn<QMessageBox>("Import's refusal box", click("Import"));
  QTest::mouseClick(ButtonIn(*dialog, QStringLiteral("Exit")), Qt::LeftButton);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (QGuiApplication::platformName() != QLatin1String("xcb")) {
    std::fprintf(stderr, "dialog_drawing_check needs an X server (DISPLAY)\n");
    return 2;
  }
  g_framebuffer = QString::fromLocal8Bit(qgetenv("KV_FRAMEBUFFER"));
  if (g_framebuffer.isEmpty() || xvfb::ReadFramebuffer(g_framebuffer, QRect(0, 0, 1, 1)).isNull()) {
    std::fprintf(stderr, "KV_FRAMEBUFFER must name the Xvfb_screen0 file of an Xvfb started with -fbdir\n");
    return 2;
  }
  // A check that never ends is a failure too.
  std::thread([] {
    std::this_thread::sleep_for(std::chrono::seconds(120));
    std::fprintf(stderr, "dialog_drawing_check: no verdict within 120 s\n");
    std::_Exit(3);
  }).detach();
  if (!ComparisonSeesACoveredWindow()) return 1;

  QCoreApplication::setApplicationName(QStringLiteral("kvtool"));
  CToolApp tool;
  QTemporaryDir folder;
  const std::string empty = folder.filePath(QStringLiteral("empty.ini")).toStdString();
  {
    QFile file(QString::fromStdString(empty));
    if (!file.open(QIODevice::WriteOnly)) return 2;
  }
  sim::SimTracker tracker;
  if (!tracker.Start()) {
    std::fprintf(stderr, "no pseudo-terminal for the simulated tracker\n");
    return 2;
  }
  platform::SetClockSpeed(20.0);

  CMainDlg window([] { return std::vector<platform::PortInfo>{}; });
  ui::SetMainWindow(&window);
  window.PreselectPort(tracker.PortPath());
  window.ShowModeless();
  QWidget& main = *ui::qt::Window(window);
  (void)QTest::qWaitForWindowExposed(&main, 5000);
  QTest::mouseClick(ButtonIn(main, QStringLiteral("Start")), Qt::LeftButton);
  QPushButton* setting = ButtonIn(main, QStringLiteral("Setting"));
  if (setting == nullptr || !WaitUntil([&] { return setting->isEnabled(); })) {
    std::fprintf(stderr, "the simulated tracker did not connect\n");
    return 1;
  }
  // Setting opens the dialog modally; the checks run inside it.
  QTimer::singleShot(0, [&] { CheckDeviceSettingWindows(empty); });
  QTest::mouseClick(setting, Qt::LeftButton);

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
  tracker.Stop();
  std::printf("%s\n", g_failures == 0 ? "every window was drawn" : "some windows were not drawn");
  return g_failures == 0 ? 0 : 1;
}
