// A simulated tracker on a pseudo-terminal with the tool's side of the line
// opened by OpenSerialPort, under a sped-up clock.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "clock_speed.h"
#include "eventually.h"
#include "serial/open_serial_port.h"
#include "sim_tracker.h"

class LineFixture : public ::testing::Test {
 protected:
  static constexpr double kSpeed = 50.0;

  // Tests whose outcome depends on reads falling between the tracker's
  // writes run slower, so that a busy machine cannot merge them.
  void UseClockSpeed(double factor) { platform::SetClockSpeed(factor); }

  void StartTracker(sim::SimOptions options = {}, bool openPort = true) {
    tracker_ = std::make_unique<sim::SimTracker>(std::move(options));
    ASSERT_TRUE(tracker_->Start()) << "no pseudo-terminal available";
    if (openPort) {
      port_ = OpenSerialPort(tracker_->PortPath().c_str(), 115200);
      ASSERT_NE(port_, INVALID_HANDLE_VALUE);
    }
  }

  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
    if (tracker_) tracker_->Stop();
  }

  void Write(const std::string& bytes) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
  }

  ClockSpeedScope speed_{kSpeed};
  std::unique_ptr<sim::SimTracker> tracker_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
};
