// The settings exchange engine against the simulated tracker over a
// pseudo-terminal, under the sped-up clock.
#include "settings/settings_exchange.h"

#include <gtest/gtest.h>

#include "sample_settings.h"

#include <mutex>
#include <string>
#include <vector>

#include "clock_speed.h"
#include "platform/clock.h"
#include "pty_sim.h"
#include "settings/settings_message.h"

namespace {

using settings::DeviceSettings;
using settings::SettingsExchange;
using settings::SettingsLayout;
using settings::StartResult;
using settings::TransferReport;
using testing_support::PtySim;

constexpr double kSpeed = 20.0;
// Long enough for any write, even eleven rounds of one message.
constexpr DWORD kTransferBound = 200000;

// The record of the worked examples: every message has values.
DeviceSettings ExampleRecord() {
  DeviceSettings s = test_support::WorkedExampleMessage1();
  s.sosNumber1 = "5550101";
  s.sosNumber2 = "5550102";
  s.defaultReturnNumber = "5550100";
  s.smsReturnNumber = "5550100";
  s.gprsPort = "9000";
  s.gprsApn = "internet";
  s.gprsServerAddress = "192.0.2.10";
  return s;
}

const std::array<std::string, 4> kExampleTexts = {"1,120,30,60,0,60,600,5,Unit7,+8.00,8,60,0,10,3,2,0,1,30,0,\r",
                                                  "5550101,5550102,,5550100,5550100,,,\r", "9000,internet,,,,,\r",
                                                  "192.0.2.10,\r"};

struct Status {
  int selector;
  std::string text;
  std::uint64_t clockMs;
};

class ExchangeTest : public ::testing::Test {
 protected:
  void Open(sim::GsmOptions gsm = {}, SettingsLayout assumed = SettingsLayout::Extended) {
    sim::SimOptions options;
    options.gsm = std::move(gsm);
    sim_ = std::make_unique<PtySim>(options);
    ASSERT_TRUE(sim_->Ready());
    settings::ExchangeOptions exchangeOptions;
    exchangeOptions.layout = assumed;
    exchangeOptions.firmwareVersion = "assumed";
    auto& cb = exchangeOptions.callbacks;
    cb.onStatus = [this](int selector, const std::string& text) {
      std::lock_guard<std::mutex> lock(lock_);
      statuses_.push_back({selector, text, platform::ClockMs()});
    };
    cb.onMessageApplied = [this](unsigned n, const DeviceSettings&) {
      std::lock_guard<std::mutex> lock(lock_);
      applied_.push_back(n);
    };
    cb.onTransferDone = [this](const TransferReport& report) {
      std::lock_guard<std::mutex> lock(lock_);
      reports_.push_back(report);
    };
    exchange_ = std::make_unique<SettingsExchange>(std::move(exchangeOptions));
    ASSERT_TRUE(exchange_->Start(sim_->Port()));
  }

  TransferReport RunWrite(const DeviceSettings& record) {
    EXPECT_EQ(exchange_->StartWrite(record), StartResult::Started);
    return AwaitEnd();
  }

  TransferReport RunRead(const DeviceSettings& base) {
    EXPECT_EQ(exchange_->StartRead(base), StartResult::Started);
    return AwaitEnd();
  }

  TransferReport AwaitEnd() {
    EXPECT_TRUE(exchange_->WaitIdle(kTransferBound));
    std::lock_guard<std::mutex> lock(lock_);
    EXPECT_FALSE(reports_.empty());
    return reports_.empty() ? TransferReport{} : reports_.back();
  }

  std::vector<std::string> StatusLine() {
    std::lock_guard<std::mutex> lock(lock_);
    std::vector<std::string> texts;
    for (const Status& s : statuses_)
      if (s.selector == settings::STATUS_LINE) texts.push_back(s.text);
    return texts;
  }

  std::vector<Status> Statuses() {
    std::lock_guard<std::mutex> lock(lock_);
    return statuses_;
  }

  std::vector<unsigned> Applied() {
    std::lock_guard<std::mutex> lock(lock_);
    return applied_;
  }

  void ClearStatuses() {
    std::lock_guard<std::mutex> lock(lock_);
    statuses_.clear();
  }

  int Count(const std::string& command) { return sim_->Tracker().CommandCount(command); }

  // For a test that bounds how soon something happens: a busy machine must
  // not stretch a few real milliseconds past the bound.
  void UseSlowerClock() { platform::SetClockSpeed(4.0); }

  ClockSpeedScope speed_{kSpeed};
  std::unique_ptr<PtySim> sim_;
  std::unique_ptr<SettingsExchange> exchange_;
  std::mutex lock_;
  std::vector<Status> statuses_;
  std::vector<unsigned> applied_;
  std::vector<TransferReport> reports_;

  void TearDown() override {
    exchange_.reset();  // stops the threads before the tracker goes
    sim_.reset();
  }
};

TEST_F(ExchangeTest, EditedRecordIsWrittenByteForByteAndReportsOk) {
  Open();
  DeviceSettings record = ExampleRecord();
  record.userName = "Unit9";  // the value the user edited
  const TransferReport report = RunWrite(record);

  std::array<std::string, 4> expected = kExampleTexts;
  expected[0].replace(expected[0].find("Unit7"), 5, "Unit9");
  EXPECT_EQ(sim_->Tracker().MessageStore(), expected);
  EXPECT_EQ(report.lastResult, settings::RESULT_OK);
  EXPECT_FALSE(report.retriesExhausted);

  std::string line;
  for (int n = 1; n <= 4; ++n) line += "at+cmgd=" + std::to_string(n) + "\r";
  for (int n = 1; n <= 4; ++n) {
    line += "at+cmgw=+" + std::to_string(n) + "\r" + expected[n - 1] + "\x1a\r";
    line += "at+cmgr=" + std::to_string(n) + "\r";
  }
  EXPECT_EQ(sim_->Tracker().ReceivedLog(), line);

  EXPECT_EQ(StatusLine(),
            (std::vector<std::string>{"delete message 1", "delete message 2", "delete message 3", "delete message 4",
                                      "setting message 1", "read message 1", "setting message 2", "read message 2",
                                      "setting message 3", "read message 3", "setting message 4", "read message 4",
                                      "Setting Message OK "}));
}

TEST_F(ExchangeTest, PausesRunOnTheClockInTheirRatios) {
  Open();
  const std::uint64_t start = platform::ClockMs();
  RunWrite(ExampleRecord());
  const std::uint64_t elapsed = platform::ClockMs() - start;

  const std::vector<Status> statuses = Statuses();
  auto at = [&](const std::string& text) {
    for (const Status& s : statuses)
      if (s.text == text) return s.clockMs;
    ADD_FAILURE() << "no status " << text;
    return std::uint64_t{0};
  };
  // Each step takes at least its pauses, and far less than one time-out more.
  for (int n = 1; n <= 3; ++n) {
    const auto gap = at("delete message " + std::to_string(n + 1)) - at("delete message " + std::to_string(n));
    EXPECT_GE(gap, settings::DELETE_PAUSE_MS);
    EXPECT_LT(gap, settings::DELETE_PAUSE_MS + settings::REPLY_WAIT_MS);
  }
  for (int n = 1; n <= 4; ++n) {
    const auto gap = at("read message " + std::to_string(n)) - at("setting message " + std::to_string(n));
    EXPECT_GE(gap, 1600u);
    EXPECT_LT(gap, 1600u + settings::REPLY_WAIT_MS);
  }
  EXPECT_GE(elapsed, 8800u) << "4 x 500 + 4 x 1700";
  EXPECT_LT(elapsed, 3 * 8800u) << "pauses slept in real time would take 20 times longer";
}

TEST_F(ExchangeTest, VerdictFollowsTheCheckOfMessageFour) {
  {
    sim::GsmOptions gsm;
    ASSERT_TRUE(sim::ParseGsmOption("gsm-error", "read:4", gsm));
    Open(gsm);
    EXPECT_EQ(RunWrite(ExampleRecord()).lastResult, settings::RESULT_ERROR);
    EXPECT_EQ(StatusLine().back(), "Setting Message error ");
    EXPECT_EQ(sim_->Tracker().MessageStore(), kExampleTexts) << "the texts are stored";
  }
  exchange_.reset();
  ClearStatuses();
  sim::GsmOptions gsm;
  ASSERT_TRUE(sim::ParseGsmOption("gsm-silent", "read:4", gsm));
  Open(gsm);
  EXPECT_EQ(RunWrite(ExampleRecord()).lastResult, settings::RESULT_TIMEOUT);
  EXPECT_EQ(StatusLine().back(), "Setting Message Time out ");
}

TEST_F(ExchangeTest, MessageTwoTimingOutStillWritesThreeAndFour) {
  sim::GsmOptions gsm;
  ASSERT_TRUE(sim::ParseGsmOption("gsm-silent", "read:2", gsm));
  Open(gsm);
  RunWrite(ExampleRecord());
  EXPECT_EQ(sim_->Tracker().MessageStore(), kExampleTexts);
  EXPECT_EQ(Count("at+cmgw=+2\r"), 1) << "a time-out is not retried";
  // Message 4 checked fine, but message 2 was never confirmed: the verdict
  // must not call the write good.
  EXPECT_EQ(StatusLine().back(), "Setting Message Time out ");
}

TEST_F(ExchangeTest, AnErrorOnAnEarlierCheckIsTheVerdictEvenWhenMessageFourIsGood) {
  sim::GsmOptions gsm;
  ASSERT_TRUE(sim::ParseGsmOption("gsm-error", "read:3/1", gsm));
  Open(gsm);
  RunWrite(ExampleRecord());
  EXPECT_EQ(StatusLine().back(), "Setting Message error ");
}

TEST_F(ExchangeTest, TenMismatchesAreRetriedTheEleventhEndsTheWrite) {
  {
    sim::GsmOptions gsm;
    gsm.mismatchReads = 10;
    gsm.mismatchSlot = 1;
    Open(gsm);
    const TransferReport report = RunWrite(ExampleRecord());
    EXPECT_FALSE(report.retriesExhausted);
    EXPECT_EQ(Count("at+cmgw=+1\r"), 11);
    EXPECT_EQ(Count("at+cmgd=1\r"), 11) << "the delete phase and ten retries";
    EXPECT_EQ(sim_->Tracker().MessageStore(), kExampleTexts);
    EXPECT_EQ(StatusLine().back(), "Setting Message OK ");
  }
  exchange_.reset();
  ClearStatuses();
  sim::GsmOptions gsm;
  gsm.mismatchReads = 11;
  gsm.mismatchSlot = 1;
  Open(gsm);
  const TransferReport report = RunWrite(ExampleRecord());
  EXPECT_TRUE(report.retriesExhausted);
  EXPECT_EQ(report.lastResult, settings::RESULT_MISMATCH);
  EXPECT_EQ(Count("at+cmgw=+1\r"), 11);
  EXPECT_EQ(Count("at+cmgd=1\r"), 12) << "the eleventh mismatch is deleted, then the write ends";
  EXPECT_EQ(Count("at+cmgw=+2\r"), 0);
  EXPECT_EQ(sim_->Tracker().MessageStore(), (std::array<std::string, 4>{}));
  EXPECT_EQ(StatusLine().back(), "Message writing fail ") << "an ended write says so";
}

TEST_F(ExchangeTest, ReadFillsTheRecordFromTheFourMessages) {
  Open();
  RunWrite(ExampleRecord());
  ClearStatuses();
  const TransferReport report = RunRead(DeviceSettings::DialogStart());
  EXPECT_EQ(report.kind, settings::TransferKind::Read);
  EXPECT_EQ(Applied(), (std::vector<unsigned>{1, 2, 3, 4}));
  const DeviceSettings read = exchange_->Record();
  for (unsigned n = 1; n <= 4; ++n)
    EXPECT_EQ(settings::BuildMessageText(read, SettingsLayout::Extended, n), kExampleTexts[n - 1]);
  EXPECT_TRUE(StatusLine().empty()) << "a read shows no status text";
  EXPECT_EQ(Count("at+cmgr=4\r"), 2);
}

TEST_F(ExchangeTest, RepliesSplitAcrossReadsAreStillRecognised) {
  // 55 bytes end inside the text of a read reply, after its header line.
  sim::GsmOptions gsm;
  ASSERT_TRUE(sim::ParseGsmOption("gsm-split", "55,400", gsm));
  Open(gsm);
  EXPECT_EQ(RunWrite(ExampleRecord()).lastResult, settings::RESULT_OK);
  EXPECT_EQ(StatusLine().back(), "Setting Message OK ");
  RunRead(DeviceSettings::DialogStart());
  EXPECT_EQ(Applied(), (std::vector<unsigned>{1, 2, 3, 4}));
  EXPECT_EQ(exchange_->Record().gprsServerAddress, "192.0.2.10");
}

TEST_F(ExchangeTest, VersionAnswerChoosesTheLayout) {
  sim::GsmOptions gsm;
  ASSERT_TRUE(sim::ParseGsmOption("firmware", "basic", gsm));
  Open(gsm);
  const settings::VersionAnswer answer = exchange_->QueryVersion();
  EXPECT_TRUE(answer.answered);
  EXPECT_EQ(answer.text, "F-0KV770Q-V1.2(200811") << "cut to 21 characters";
  EXPECT_EQ(answer.layout, SettingsLayout::Basic);
  EXPECT_EQ(exchange_->SetTextMode(), WAIT_OBJECT_0);

  RunWrite(ExampleRecord());
  EXPECT_EQ(sim_->Tracker().MessageStore()[0], "1,120,30,60,3,60,600,5,Unit7,+8.00,8,60,0,10,3,\r");
  EXPECT_EQ(StatusLine().back(), "Setting Message OK ");
  exchange_.reset();

  // Without an answer the assumed version and layout stay.
  sim::GsmOptions silent;
  ASSERT_TRUE(sim::ParseGsmOption("gsm-silent", "version", silent));
  ASSERT_TRUE(sim::ParseGsmOption("gsm-error", "textmode", silent));
  Open(silent, SettingsLayout::Basic);
  const settings::VersionAnswer none = exchange_->QueryVersion();
  EXPECT_FALSE(none.answered);
  EXPECT_EQ(none.text, "assumed");
  EXPECT_EQ(none.layout, SettingsLayout::Basic);
  EXPECT_EQ(exchange_->SetTextMode(), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(exchange_->LastResult(), settings::RESULT_ERROR);
  EXPECT_EQ(Statuses().back().text, "ERROR");
}

TEST_F(ExchangeTest, RefusedOrRepeatedWriteSendsNothingMore) {
  Open();
  DeviceSettings bad = ExampleRecord();
  bad.userName = "Unit,7";
  std::vector<settings::SettingsProblem> problems;
  EXPECT_EQ(exchange_->StartWrite(bad, &problems), StartResult::Refused);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].setting->id, settings::SettingId::userName);
  EXPECT_FALSE(exchange_->IsBusy());
  platform::SleepMs(200);
  EXPECT_EQ(sim_->Tracker().ReceivedLog(), "") << "nothing may reach the tracker";

  EXPECT_EQ(exchange_->StartWrite(ExampleRecord()), StartResult::Started);
  EXPECT_EQ(exchange_->StartWrite(ExampleRecord()), StartResult::Busy);
  EXPECT_EQ(exchange_->StartRead(ExampleRecord()), StartResult::Busy);
  AwaitEnd();
  EXPECT_EQ(Count("at+cmgd=1\r"), 1);
  EXPECT_EQ(Count("at+cmgr=1\r"), 1);
}

TEST_F(ExchangeTest, CancelAndStopEndARunningReadPromptly) {
  sim::GsmOptions gsm;
  ASSERT_TRUE(sim::ParseGsmOption("gsm-silent", "read", gsm));
  Open(gsm);
  // Unanswered, the read would take four time-outs; cancelled, it ends now.
  ASSERT_EQ(exchange_->StartRead(DeviceSettings::DialogStart()), StartResult::Started);
  exchange_->Cancel();
  EXPECT_TRUE(exchange_->WaitIdle(4000));
  const TransferReport report = AwaitEnd();
  EXPECT_TRUE(report.cancelled);
  EXPECT_EQ(Count("at+cmgr=2\r"), 0);

  // Stop with a read under way: every thread ends within its bound, and the
  // session takes no more work.
  ASSERT_EQ(exchange_->StartRead(DeviceSettings::DialogStart()), StartResult::Started);
  EXPECT_TRUE(exchange_->Stop());
  EXPECT_FALSE(exchange_->IsBusy());
  EXPECT_EQ(exchange_->StartRead(DeviceSettings::DialogStart()), StartResult::NotStarted);
  EXPECT_EQ(exchange_->SetTextMode(), WAIT_FAILED);
}

TEST_F(ExchangeTest, ALateStoreReplyNeverConfirmsTheReadBack) {
  // The store of message 4 is answered after its wait; every read-back of
  // message 4 differs from what was written.
  sim::GsmOptions gsm;
  ASSERT_TRUE(sim::ParseGsmOption("gsm-late", "5250,store:4/1", gsm));
  ASSERT_TRUE(sim::ParseGsmOption("gsm-mismatch", "11:4", gsm));
  Open(gsm);
  const TransferReport report = RunWrite(ExampleRecord());
  EXPECT_TRUE(report.retriesExhausted);
  EXPECT_EQ(report.lastResult, settings::RESULT_MISMATCH);
  EXPECT_EQ(Count("at+cmgw=+4\r"), 11) << "each differing read-back is written again";
  EXPECT_EQ(StatusLine().back(), "Message writing fail ");
}

TEST_F(ExchangeTest, AMismatchIsNotHiddenByAnOkThatCameWithIt) {
  // A late store reply and one differing read-back. The
  // differing read-back is written again and the second one confirms it.
  sim::GsmOptions gsm;
  ASSERT_TRUE(sim::ParseGsmOption("gsm-late", "5250,store:4", gsm));
  ASSERT_TRUE(sim::ParseGsmOption("gsm-mismatch", "1:4", gsm));
  Open(gsm);
  RunWrite(ExampleRecord());
  EXPECT_EQ(Count("at+cmgw=+4\r"), 2);
  EXPECT_EQ(Count("at+cmgr=4\r"), 2);
  EXPECT_EQ(sim_->Tracker().MessageStore(), kExampleTexts);
  EXPECT_EQ(StatusLine().back(), "Setting Message OK ");
}

TEST_F(ExchangeTest, AVersionLikeUserNameInASplitReplyChangesNothing) {
  // 80 bytes end the first part of message 1's read-back just after the
  // user name, so the reader holds "F-0KVQ" while the rest is on its way.
  sim::GsmOptions gsm;
  ASSERT_TRUE(sim::ParseGsmOption("gsm-split", "80,400", gsm));
  Open(gsm);
  ASSERT_TRUE(exchange_->QueryVersion().answered);
  DeviceSettings record = ExampleRecord();
  record.userName = "F-0KVQ";
  const TransferReport report = RunWrite(record);
  EXPECT_EQ(report.lastResult, settings::RESULT_OK);
  EXPECT_EQ(StatusLine().back(), "Setting Message OK ");
  EXPECT_EQ(Count("at+cmgw=+1\r"), 1);
  EXPECT_EQ(exchange_->Layout(), SettingsLayout::Extended);
  EXPECT_EQ(exchange_->FirmwareVersion(), "F-0KV770E-V1.4(200909");

  RunRead(DeviceSettings::DialogStart());
  EXPECT_EQ(exchange_->Record().userName, "F-0KVQ");
  EXPECT_EQ(exchange_->Layout(), SettingsLayout::Extended);
}

TEST_F(ExchangeTest, AVersionAnswerAfterTheQueryChangesNeitherVersionNorLayout) {
  // A basic-layout firmware that answers 1 s after the query's 2.5 s.
  sim::GsmOptions gsm;
  ASSERT_TRUE(sim::ParseGsmOption("firmware", "basic", gsm));
  ASSERT_TRUE(sim::ParseGsmOption("gsm-late", "3500,version", gsm));
  Open(gsm, SettingsLayout::Extended);
  const settings::VersionAnswer answer = exchange_->QueryVersion();
  EXPECT_FALSE(answer.answered);
  EXPECT_EQ(answer.layout, SettingsLayout::Extended);
  platform::SleepMs(2000);  // the late answer has come meanwhile
  EXPECT_EQ(exchange_->Layout(), answer.layout);
  EXPECT_EQ(exchange_->FirmwareVersion(), answer.text);

  // The write goes out in the layout the owner was told.
  RunWrite(ExampleRecord());
  EXPECT_EQ(sim_->Tracker().MessageStore(), kExampleTexts);
  EXPECT_EQ(StatusLine().back(), "Setting Message OK ");
}

TEST_F(ExchangeTest, APulledCableEndsAWriteAtOnce) {
  UseSlowerClock();
  Open();
  ASSERT_EQ(exchange_->StartWrite(ExampleRecord()), StartResult::Started);
  std::uint64_t pulledAt = 0;
  for (int i = 0; i < 2000 && pulledAt == 0; ++i) {
    const std::vector<std::string> line = StatusLine();
    if (!line.empty() && line.back() == "setting message 2") {
      // The clock is read before the pull: the status that reports it may come
      // on another thread before this one reads the clock again.
      pulledAt = platform::ClockMs();
      sim_->Tracker().PullCable();
    }
    platform::SleepMs(5);
  }
  ASSERT_NE(pulledAt, 0u);
  const TransferReport report = AwaitEnd();
  EXPECT_TRUE(report.lineLost);
  EXPECT_EQ(report.lastResult, settings::RESULT_LINE_LOST);
  EXPECT_TRUE(exchange_->LineLost());
  EXPECT_EQ(StatusLine().back(), settings::TRACKER_DISCONNECTED_TEXT);
  const std::vector<Status> statuses = Statuses();
  ASSERT_GE(statuses.back().clockMs, pulledAt);
  EXPECT_LE(statuses.back().clockMs - pulledAt, 1000u) << "within a second, not after time-outs";

  // The session takes no more work on the lost line.
  EXPECT_EQ(exchange_->SetTextMode(), WAIT_FAILED);
  ClearStatuses();
  RunRead(DeviceSettings::DialogStart());
  EXPECT_EQ(StatusLine(), (std::vector<std::string>{settings::TRACKER_DISCONNECTED_TEXT}));
}

}  // namespace
