// The Device Setting dialog on the offscreen platform, opened modeless on a
// main window that holds an open port to a simulated tracker, under a
// sped-up clock; message boxes are recorded.
#pragma once

#include <ostream>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/device_setting_dlg.h"
#include "main_window_fixture.h"
#include "qt_controls.h"
#include "res/resource_ids.h"
#include "sample_settings.h"
#include "serial/open_serial_port.h"
#include "settings/settings_exchange.h"
#include "settings/settings_message.h"
#include "ui/application.h"

namespace settings {
// Test output names every value of a record.
inline void PrintTo(const DeviceSettings& s, std::ostream* out) {
  for (const SettingInfo& info : SETTINGS_TABLE) *out << "\n  " << info.identifier << "=" << FieldText(s, info.id);
}
}  // namespace settings

class DeviceSettingTest : public MainWindowTest {
 protected:
  static constexpr double kSpeed = 20.0;
  static constexpr char kImei[] = "356938035643809";

  void TearDown() override {
    dialog_.reset();
    ui::SetMainWindow(nullptr);
    MainWindowTest::TearDown();
  }

  // A tracker and a main window with its port open, as after Start (the
  // main window's own reader is not running).
  void Connect(sim::SimOptions options = {}) {
    StartTracker(std::move(options));
    CMainDlg& w = OpenWindow();
    ui::SetMainWindow(&w);
    w.m_hPort = OpenSerialPort(tracker_->PortPath().c_str(), 115200);
    ASSERT_NE(w.m_hPort, INVALID_HANDLE_VALUE);
  }

  // A tracker and the application's main window connected to it by Start,
  // with its own reader, until Setting comes on.
  void StartConnected() {
    StartTracker();
    CMainDlg& w = OpenWindow();
    ui::SetMainWindow(&w);
    ASSERT_TRUE(w.SelectPort(tracker_->PortPath()));
    Click(StartButton(w));
    ASSERT_TRUE(WaitFor([&] { return SettingButton(w)->isEnabled(); }));
  }

  // Inside Setting's modal loop: waits until the Device Setting dialog is idle
  // after its first read. `d` is the dialog as far as it was found (null when
  // none was), so that a test can still end it.
  bool AwaitModalDialogIdle(CDeviceSettingDlg*& d) {
    return WaitFor([&] {
      d = ui::qt::DialogOf<CDeviceSettingDlg>(QApplication::activeModalWidget());
      return d != nullptr && ui::qt::Control(*d, IDC_BTN_GET_DEVICE_SETTING)->isEnabled();
    });
  }

  // Puts a record into the tracker's message store through the settings
  // engine on the window's port, before any dialog opens.
  void Seed(const settings::DeviceSettings& record, settings::SettingsLayout layout) {
    settings::ExchangeOptions options;
    options.layout = layout;
    settings::SettingsExchange exchange(std::move(options));
    ASSERT_TRUE(exchange.Start(window_->m_hPort));
    ASSERT_EQ(exchange.StartWrite(record), settings::StartResult::Started);
    ASSERT_TRUE(exchange.WaitIdle(200000));
    exchange.Stop();
    ASSERT_EQ(exchange.LastResult(), settings::RESULT_OK);
  }

  // Opens the dialog as Setting does (it returns in the Reading state).
  CDeviceSettingDlg& OpenDialog() {
    dialog_ = std::make_unique<CDeviceSettingDlg>(window_->m_hPort, window_.get());
    dialog_->SetImei(kImei);
    dialog_->ShowModeless();
    // The opening (version query, text mode) runs as background work.
    Settle();
    return *dialog_;
  }

  // Opens the dialog and waits for its first read to end.
  CDeviceSettingDlg& OpenDialogIdle() {
    CDeviceSettingDlg& d = OpenDialog();
    EXPECT_TRUE(AwaitIdle());
    return d;
  }

  bool AnyBusy() const override { return MainWindowTest::AnyBusy() || (dialog_ && dialog_->IsBusy()); }

  bool IsIdle() const { return ui::qt::Control(*dialog_, IDC_BTN_GET_DEVICE_SETTING)->isEnabled(); }
  bool AwaitIdle() {
    return WaitFor([&] { return IsIdle(); });
  }

  QWidget* Item(int id) const { return ui::qt::Control(*dialog_, id); }
  QLineEdit* Edit(settings::SettingId id) const {
    return ui::qt::ControlAs<QLineEdit>(*dialog_, settings::Setting(id).controlId);
  }
  QComboBox* List(settings::SettingId id) const {
    return ui::qt::ControlAs<QComboBox>(*dialog_, settings::Setting(id).controlId);
  }
  std::string Status() const { return dialog_->ItemText(IDC_STC_TRANSFER_STATUS); }

  // The texts of the four messages of a record, as the store should hold them.
  static std::array<std::string, 4> MessageTexts(const settings::DeviceSettings& record,
                                                 settings::SettingsLayout layout) {
    std::array<std::string, 4> texts;
    for (unsigned n = 1; n <= 4; ++n) texts[n - 1] = settings::BuildMessageText(record, layout, n);
    return texts;
  }

  // A record with a value in every setting.
  static settings::DeviceSettings Example() { return test_support::SampleSettings(); }

  ClockSpeedScope speed_{kSpeed};
  std::unique_ptr<CDeviceSettingDlg> dialog_;
};
