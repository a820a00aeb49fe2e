// One tracker's settings session from the terminal: open, probe, run mode and
// IMEI, then the settings exchange engine that the Device Setting dialog
// drives too (version, text mode, read, write). A first interrupt ends a
// read or write at its next step.
//
// Thread contract: one tracker's job thread owns a session and makes every call on it;
// the engine's worker and reader threads stay inside it. The interrupt it
// watches is set from any thread (interrupt.h).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "job_runner.h"
#include "settings/settings_exchange.h"
#include "settings/write_progress.h"

class SettingsSession {
 public:
  explicit SettingsSession(JobContext& context, bool printSteps = false);
  ~SettingsSession();

  // Opens, probes and starts the exchange; false with `failure` filled.
  bool Open(JobResult& failure);
  settings::VersionAnswer Version() const { return version_; }
  const std::string& Imei() const { return imei_; }

  // Reads the four messages; false (with `failure`) when a read got no reply.
  // `untouched`: what an interrupt says the tracker is left in (set and
  // restore add the command that finishes the job).
  bool Read(settings::DeviceSettings& record, JobResult& failure,
            const std::string& untouched = "the settings were only read; nothing was changed on the tracker");
  // The texts of the last read, exactly as the tracker sent them.
  settings::MessageTexts ReadTexts() const { return exchange_->ReadTexts(); }
  // Checks, writes and verifies; returns the verdict text shown at the end
  // ("Setting Message OK " ...). `refused` holds why a record was refused.
  // An interrupt cancels the write at its next step (empty verdict).
  // With `texts`, those exact texts are written and checked (a restore).
  std::string Write(const settings::DeviceSettings& record, std::string& refused,
                    const std::array<std::string, settings::MESSAGE_COUNT>* texts = nullptr);
  // What the last write did to the four messages, in words. `lineLost`: the
  // line went away during it, so a message text under way may never have
  // reached the tracker (it counts as deleted).
  std::string WriteState(bool lineLost = false);

 private:
  bool RunTransfer(const std::function<settings::StartResult()>& start);

  JobContext& context_;
  bool printSteps_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
  std::string imei_;
  settings::VersionAnswer version_{};
  std::unique_ptr<settings::SettingsExchange> exchange_;
  HANDLE doneEvent_ = nullptr;
  std::atomic<int> timeouts_{0};
  std::atomic<int> errors_{0};
  std::mutex statusLock_;
  std::string lastStatus_;
  WriteProgress progress_;  // under statusLock_
};
