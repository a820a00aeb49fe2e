#include "settings_session.h"

#include "serial/imei_query.h"
#include "tracker_session.h"

using namespace settings;

namespace {
// A whole read takes 4 x 5.3 s at most and a write about 69 s without
// retries; with ten retries of every message it stays far below this.
constexpr DWORD TRANSFER_WAIT_MS = 20 * 60 * 1000;
}  // namespace

SettingsSession::SettingsSession(JobContext& context, bool printSteps)
    : context_(context), printSteps_(printSteps) {
  doneEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

SettingsSession::~SettingsSession() {
  if (exchange_) exchange_->Stop();
  exchange_.reset();
  if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
  CloseHandle(doneEvent_);
}

bool SettingsSession::Open(JobResult& failure) {
  port_ = OpenAndProbeTracker(context_, failure);
  if (port_ == INVALID_HANDLE_VALUE) return false;
  // The run mode ("2") and the IMEI, as the main window's Start does.
  if (auto imei = QueryImei(port_, KVCTL_IMEI_WAIT_MS)) imei_ = *imei;

  ExchangeOptions options;
  options.callbacks.onStatus = [this](int selector, const std::string& text) {
    if (selector != STATUS_LINE) return;
    {
      std::lock_guard<std::mutex> lock(statusLock_);
      lastStatus_ = text;
    }
    if (printSteps_) context_.Say(text);
  };
  options.callbacks.onResult = [this](BYTE result) {
    if (result == RESULT_TIMEOUT) ++timeouts_;
    if (result == RESULT_ERROR) ++errors_;
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
  exchange_->SetTextMode();
  return true;
}

bool SettingsSession::RunTransfer(const std::function<StartResult()>& start) {
  timeouts_ = 0;
  errors_ = 0;
  ResetEvent(doneEvent_);
  if (start() != StartResult::Started) return false;
  WaitForSingleObject(doneEvent_, TRANSFER_WAIT_MS);
  return exchange_->WaitIdle(TRANSFER_WAIT_MS);
}

bool SettingsSession::Read(DeviceSettings& record, JobResult& failure) {
  const DeviceSettings base = DeviceSettings::DialogStart();
  if (!RunTransfer([&] { return exchange_->StartRead(base); })) {
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

std::string SettingsSession::Write(const DeviceSettings& record, std::string& refused) {
  std::vector<SettingsProblem> problems;
  StartResult started = StartResult::NotStarted;
  const bool ran = RunTransfer([&] {
    started = exchange_->StartWrite(record, &problems);
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
