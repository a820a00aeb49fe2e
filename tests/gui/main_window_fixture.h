// A main window on the offscreen platform, a simulated tracker for it to
// talk to, a private runtime folder for the simulators' advertisements, a
// sped-up clock and recorded message boxes.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include <memory>

#include "app/main_dlg.h"
#include "qt_controls.h"
#include "app/tool_app.h"
#include "clock_speed.h"
#include "gui_recorders.h"
#include "scoped_runtime_folder.h"
#include "sim_tracker.h"

class MainWindowTest : public ::testing::Test {
 protected:
  // Only there to catch a hang; the flows end far sooner on the sped-up clock.
  static constexpr int HANG_BOUND_MS = 20000;

  void SetUp() override {
    ASSERT_TRUE(folder_.Ok());
    QCoreApplication::setApplicationName(QStringLiteral("kvtool"));
    app_ = std::make_unique<CToolApp>();
  }

  void TearDown() override {
    window_.reset();
    if (tracker_) tracker_->Stop();
  }

  void StartTracker(sim::SimOptions options = {}) {
    tracker_ = std::make_unique<sim::SimTracker>(std::move(options));
    ASSERT_TRUE(tracker_->Start()) << "no pseudo-terminal available";
  }

  // The window on an empty port source unless one is given, shown modeless.
  CMainDlg& OpenWindow(CMainDlg::PortSource ports = NoPorts()) {
    window_ = std::make_unique<CMainDlg>(std::move(ports));
    window_->ShowModeless();
    return *window_;
  }

  static CMainDlg::PortSource NoPorts() {
    return [] { return std::vector<platform::PortInfo>{}; };
  }

  static bool WaitFor(const std::function<bool()>& condition, int boundMs = HANG_BOUND_MS) {
    return QTest::qWaitFor(condition, boundMs);
  }

  // Clicks, then lets the event loop run until the windows have finished
  // the waits the click started (the probe, a reader's stop, a close).
  void Click(QWidget* button) {
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return !AnyBusy(); })) << "still busy after the click";
  }
  // Lets the event loop run until the windows have finished their waits.
  void Settle() {
    EXPECT_TRUE(WaitFor([&] { return !AnyBusy(); })) << "still busy";
  }
  virtual bool AnyBusy() const { return window_ && window_->IsBusy(); }

  // The window is back to its idle state: nothing open, every button as at start.
  void ExpectIdle() {
    CMainDlg& w = *window_;
    EXPECT_EQ(w.m_hPort, INVALID_HANDLE_VALUE);
    EXPECT_EQ(w.m_hReaderThread, nullptr);
    EXPECT_EQ(w.m_nTimerId, 0u);
    EXPECT_EQ(StartButton(w)->text(), QStringLiteral("Start"));
    EXPECT_TRUE(StartButton(w)->isEnabled());
    EXPECT_FALSE(SettingButton(w)->isEnabled());
    EXPECT_TRUE(UpdateButton(w)->isEnabled());
    EXPECT_TRUE(ScanButton(w)->isEnabled());
    EXPECT_TRUE(PortCombo(w)->isEnabled());
  }

  ScopedRuntimeFolder folder_;
  std::unique_ptr<CToolApp> app_;
  MessageBoxRecorder boxes_;
  std::unique_ptr<sim::SimTracker> tracker_;
  std::unique_ptr<CMainDlg> window_;
};
