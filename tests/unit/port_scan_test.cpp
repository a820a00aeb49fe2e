// The port scan worker against several simulated trackers, a silent port and
// a name that cannot be opened.
#include <gtest/gtest.h>

#include <mutex>

#include "line_fixture.h"
#include "serial/port_scan.h"

namespace {

class PortScanTest : public ::testing::Test {
 protected:
  sim::SimTracker& AddTracker(sim::ProbeAnswer answer) {
    sim::SimOptions o;
    o.menu.probeAnswer = answer;
    trackers_.push_back(std::make_unique<sim::SimTracker>(o));
    EXPECT_TRUE(trackers_.back()->Start());
    names_.push_back(trackers_.back()->PortPath());
    return *trackers_.back();
  }
  void AddMissingPort() { names_.push_back("/dev/kv770-scan-missing"); }

  std::shared_ptr<PortScan> MakeScan() {
    return std::make_shared<PortScan>(
        names_,
        [this](const std::string& t) {
          std::lock_guard<std::mutex> l(lock_);
          statuses_.push_back(t);
        },
        [this](int i, const std::string& t) {
          std::lock_guard<std::mutex> l(lock_);
          entries_.emplace_back(i, t);
        });
  }
  std::vector<std::string> Statuses() {
    std::lock_guard<std::mutex> l(lock_);
    return statuses_;
  }

  ClockSpeedScope speed_{50.0};
  std::vector<std::unique_ptr<sim::SimTracker>> trackers_;
  std::vector<std::string> names_;
  std::mutex lock_;
  std::vector<std::string> statuses_;
  std::vector<std::pair<int, std::string>> entries_;
};

TEST_F(PortScanTest, EveryEntryGetsItsSuffixAndTheLastAnsweringPortIsFound) {
  AddTracker(sim::ProbeAnswer::MainMenu);
  AddTracker(sim::ProbeAnswer::Silent);
  AddMissingPort();
  AddTracker(sim::ProbeAnswer::Siemens);
  AddTracker(sim::ProbeAnswer::Silent);
  auto scan = MakeScan();
  HANDLE thread = scan->Start();
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 5 * 60000), WAIT_OBJECT_0);
  CloseHandle(thread);

  const auto e = scan->Entries();
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[0], names_[0] + "   -------->[Open Success]");
  EXPECT_EQ(e[1], names_[1] + "   -------->[Check failed]");
  EXPECT_EQ(e[2], names_[2] + "   -------->[Open failed]");
  EXPECT_EQ(e[3], names_[3] + "   -------->[Open Success]");
  EXPECT_EQ(e[4], names_[4] + "   -------->[Check failed]");
  EXPECT_EQ(scan->FoundIndex(), 3);
  const auto s = Statuses();
  ASSERT_EQ(s.size(), 6u);
  EXPECT_EQ(s[0], "115200 scaning " + names_[0]);
  EXPECT_EQ(s[4], "115200 scaning " + names_[4]);
  EXPECT_EQ(s[5], "Complete Scan.");
  // Every port was closed again: each opens once more.
  for (std::size_t i = 0; i < trackers_.size(); ++i) {
    HANDLE h = OpenSerialPort(trackers_[i]->PortPath().c_str(), 115200);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
}

TEST_F(PortScanTest, BreakDuringAProbeLeavesThatEntryPlainAndReportsNothingMore) {
  AddTracker(sim::ProbeAnswer::MainMenu);
  AddTracker(sim::ProbeAnswer::Silent);
  auto& third = AddTracker(sim::ProbeAnswer::Silent);
  auto scan = MakeScan();
  HANDLE thread = scan->Start();
  // Wait until the third port's probe has begun.
  ASSERT_TRUE(Eventually([&] { return third.CommandCount("ati\r") >= 1; }, std::chrono::seconds(30)));
  scan->Break();
  const auto statusesAtBreak = Statuses().size();
  ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
  CloseHandle(thread);
  const auto e = scan->Entries();
  EXPECT_EQ(e[0], names_[0] + "   -------->[Open Success]");
  EXPECT_EQ(e[1], names_[1] + "   -------->[Check failed]");
  EXPECT_EQ(e[2], names_[2]) << "the port being probed at the break keeps its plain name";
  EXPECT_EQ(scan->FoundIndex(), 0);
  EXPECT_EQ(Statuses().size(), statusesAtBreak) << "no status after the break";
  for (const auto& s : Statuses()) EXPECT_NE(s, "Complete Scan.");
}

TEST_F(PortScanTest, NoAnsweringPortLeavesFoundIndexUnset) {
  AddTracker(sim::ProbeAnswer::Silent);
  AddMissingPort();
  auto scan = MakeScan();
  HANDLE thread = scan->Start();
  ASSERT_EQ(WaitForSingleObject(thread, 2 * 60000), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_EQ(scan->FoundIndex(), -1);
}

TEST_F(PortScanTest, StateOutlivesTheOwnerThatGaveUpWaiting) {
  AddTracker(sim::ProbeAnswer::Silent);
  HANDLE thread;
  {
    auto scan = MakeScan();
    thread = scan->Start();
    ASSERT_TRUE(Eventually([&] { return trackers_[0]->CommandCount("ati\r") >= 1; }));
    scan->Break();
  }  // the dialog's reference is gone while the probe still runs
  ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
  CloseHandle(thread);
  // The port is free again once the probe has ended.
  ASSERT_TRUE(Eventually([&] {
    HANDLE h = OpenSerialPort(trackers_[0]->PortPath().c_str(), 115200);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
  }));
}

}  // namespace
