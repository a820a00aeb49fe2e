// Saves pictures of the Device Setting dialog, as the README shows them: once
// on a simulated tracker with basic-layout firmware and once with extended
// firmware. Each time the main window connects, the dialog opens on it, an
// example set of settings is written to the tracker and read back. Runs on
// the X server of DISPLAY (offscreen without one); see screenshot_frame.h.
//
// Usage: device_setting_screenshot BASIC.png EXTENDED.png
#include <cstdio>
#include <functional>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

#include "../gui/qt_controls.h"
#include "ui/qt/qt_access.h"
#include "app/main_dlg.h"
#include "app/tool_app.h"
#include "platform/clock.h"
#include <QApplication>
#include "res/resource_ids.h"
#include "app/device_setting_dlg.h"
#include "sample_settings.h"
#include "screenshot_frame.h"
#include "sim_tracker.h"
#include "ui/application.h"

namespace {

bool WaitUntil(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 30000) QTest::qWait(20);
  return done();
}

settings::DeviceSettings ExampleSettings() { return test_support::SampleSettings(); }

bool Idle(CDeviceSettingDlg& dialog) { return ui::qt::Control(dialog, IDC_BTN_GET_DEVICE_SETTING)->isEnabled(); }

int Picture(const std::string& versionText, const char* output) {
  sim::SimOptions options;
  options.gsm.versionText = versionText;
  sim::SimTracker tracker(options);
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

  bool saved = false;
  {
    window.m_reader->m_bReaderPaused = 1;
    CDeviceSettingDlg dialog(window.m_hPort, &window);
    dialog.SetImei(ImeiLabel(window)->text().toStdString());
    dialog.ShowModeless();
    bool ready = WaitUntil([&] { return Idle(dialog); });
    if (ready) {
      dialog.ShowSettings(ExampleSettings());
      dialog.OnSetToDevice();
      ready = WaitUntil([&] { return Idle(dialog); });
    }
    if (ready) {
      const std::string verdict = dialog.ItemText(IDC_STC_TRANSFER_STATUS);
      dialog.OnGetDeviceSetting();
      ready = WaitUntil([&] { return Idle(dialog); });
      dialog.SetItemText(IDC_STC_TRANSFER_STATUS, verdict);
    }
    if (!ready) {
      std::fprintf(stderr, "the dialog did not finish its transfers\n");
      return 1;
    }
    platform::SetClockSpeed(1.0);
    ui::qt::Control(dialog, IDC_BTN_SET_TO_DEVICE)->setFocus();

    saved = screenshot::SaveFramed(*ui::qt::Window(dialog), QApplication::windowIcon(), output);
  }
  window.m_reader->m_bReaderPaused = 0;
  window.OnStart();  // Stop: the reader ends before the tracker goes away
  ui::SetMainWindow(nullptr);
  tracker.Stop();
  if (!saved) {
    std::fprintf(stderr, "could not write %s\n", output);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s BASIC.png EXTENDED.png\n", argv[0]);
    return 2;
  }
  screenshot::ChoosePlatform();
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("kvtool"));
  CToolApp tool;  // name, icon and version as the program has them

  if (const int failed = Picture(std::string(sim::BASIC_VERSION_TEXT), argv[1])) return failed;
  return Picture(std::string(sim::EXTENDED_VERSION_TEXT), argv[2]);
}
