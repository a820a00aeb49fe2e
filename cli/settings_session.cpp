#include "settings_session.h"

#include "interrupt.h"
#include "common/tool_timings.h"
#include "platform/serial_io.h"
#include "serial/imei_query.h"
#include "tracker_session.h"

using namespace settings;

namespace {
// A whole read takes 4 x 5.3 s at most and a write about 69 s without
// retries; with ten retries of every message it stays below this.
constexpr DWORD TRANSFER_WAIT_MS = 20 * 60 * 1000;
// A read, and a write whose every reply wait runs out, or whose every
// message is read back wrong MAX_MISMATCH_RETRIES times before it is right.
constexpr DWORD LONGEST_READ_MS = MESSAGE_COUNT * (READ_PAUSE_MS + REPLY_WAIT_MS);
constexpr DWORD LONGEST_WRITE_MS = MESSAGE_COUNT * (REPLY_WAIT_MS + DELETE_PAUSE_MS) +
                                   MESSAGE_COUNT * (MAX_MISMATCH_RETRIES + 1) * WRITE_ATTEMPT_LONGEST_MS;
static_assert(LONGEST_READ_MS < TRANSFER_WAIT_MS, "kvctl gives up on a read that is still running");
static_assert(LONGEST_WRITE_MS < TRANSFER_WAIT_MS, "kvctl gives up on a write that is still running");
// After a cancel the worker ends at its next step: a pause or reply wait
// ends at once, a write to a stalled line within 10 s per command.
constexpr DWORD CANCEL_WAIT_MS = 60 * 1000;
static_assert(UNCANCELLABLE_STEP_MS < CANCEL_WAIT_MS, "kvctl gives up on a worker finishing a message text");
// ESC: the GSM module abandons a message text it is taking in.
constexpr char kAbandonText[] = "\x1b";
}  // namespace

SettingsSession::SettingsSession(JobContext& context, bool printSteps) : context_(context), printSteps_(printSteps) {
  doneEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

SettingsSession::~SettingsSession() {
  if (exchange_) exchange_->Stop();
  exchange_.reset();
  if (port_ != INVALID_HANDLE_VALUE) {
    platform::SetPortExitBytes(port_, {});
    CloseHandle(port_);
  }
  CloseHandle(doneEvent_);
}

bool SettingsSession::Open(JobResult& failure) {
  port_ = OpenAndProbeTracker(context_, failure);
  if (port_ == INVALID_HANDLE_VALUE) return false;
  // The run mode ("2") and the IMEI, as the main window's Start does.
  if (auto imei = QueryImei(port_, KVCTL_IMEI_WAIT_MS)) imei_ = *imei;
  if (SayIfInterrupted(context_, failure, "nothing was changed on the tracker")) return false;

  ExchangeOptions options;
  options.callbacks.onStatus = [this](int selector, const std::string& text) {
    if (selector != STATUS_LINE) return;
    {
      std::lock_guard<std::mutex> lock(statusLock_);
      lastStatus_ = text;
      progress_.OnStatus(text);
      // A process that has to quit at once abandons a text being entered.
      if (progress_.InText()) platform::SetPortExitBytes(port_, kAbandonText);
    }
    if (printSteps_) context_.Say(text);
  };
  options.callbacks.onResult = [this](BYTE result) {
    if (result == RESULT_TIMEOUT) ++timeouts_;
    if (result == RESULT_ERROR) ++errors_;
    std::lock_guard<std::mutex> lock(statusLock_);
    progress_.OnResult(result);
    if (!progress_.InText()) platform::SetPortExitBytes(port_, {});
  };
  options.callbacks.onTransferDone = [this](const TransferReport&) { SetEvent(doneEvent_); };
  exchange_ = std::make_unique<SettingsExchange>(std::move(options));
  if (!exchange_->Start(port_)) {
    failure.code = kExitFailed;
    failure.verdict = "no session";
    failure.detail = "settings: the reader could not start";
    context_.Fail("Cannot talk to the tracker", failure.detail);
    return false;
  }
  version_ = exchange_->QueryVersion();
  if (SayIfInterrupted(context_, failure, "nothing was changed on the tracker")) return false;
  exchange_->SetTextMode();
  return !SayIfInterrupted(context_, failure, "nothing was changed on the tracker");
}

bool SettingsSession::RunTransfer(const std::function<StartResult()>& start) {
  timeouts_ = 0;
  errors_ = 0;
  ResetEvent(doneEvent_);
  if (interrupt::Requested()) return false;
  if (start() != StartResult::Started) return false;
  if (interrupt::WaitOrStop(doneEvent_, TRANSFER_WAIT_MS) == WAIT_OBJECT_0 + 1) {
    // Stop at the worker's next step; a message text already begun is
    // finished with its end mark, so the module never stays in text entry.
    exchange_->Cancel();
    WaitForSingleObject(doneEvent_, CANCEL_WAIT_MS);
    if (exchange_->WaitIdle(CANCEL_WAIT_MS)) platform::SetPortExitBytes(port_, {});
    return false;
  }
  return exchange_->WaitIdle(TRANSFER_WAIT_MS);
}

bool SettingsSession::Read(DeviceSettings& record, JobResult& failure, const std::string& untouched) {
  const DeviceSettings base = DeviceSettings::DialogStart();
  if (!RunTransfer([&] { return exchange_->StartRead(base); })) {
    if (SayIfInterrupted(context_, failure, untouched)) return false;
    failure.code = kExitFailed;
    failure.verdict = "read failed";
    failure.detail = "settings: the read did not run to its end";
    context_.Fail("Reading the settings failed", failure.detail);
    return false;
  }
  record = exchange_->Record();
  if (timeouts_ > 0 || errors_ > 0) {
    failure.code = kExitFailed;
    failure.verdict = "read incomplete";
    failure.detail = "settings: " + std::to_string(timeouts_.load()) + " of 4 messages without reply, " +
                     std::to_string(errors_.load()) + " answered ERROR";
    context_.Fail("Reading the settings failed", failure.detail);
    return false;
  }
  return true;
}

std::string SettingsSession::Write(const DeviceSettings& record, std::string& refused,
                                   const std::array<std::string, MESSAGE_COUNT>* texts) {
  std::vector<SettingsProblem> problems;
  StartResult started = StartResult::NotStarted;
  const bool ran = RunTransfer([&] {
    started = texts ? exchange_->StartWriteTexts(record, *texts, &problems) : exchange_->StartWrite(record, &problems);
    return started;
  });
  if (started == StartResult::Refused) {
    refused = DescribeProblems(problems);
    return {};
  }
  if (!ran) return {};
  std::lock_guard<std::mutex> lock(statusLock_);
  return lastStatus_;
}

std::string SettingsSession::WriteState(bool lineLost) {
  std::lock_guard<std::mutex> lock(statusLock_);
  if (lineLost) progress_.OnLineLost();
  return progress_.Describe();
}
