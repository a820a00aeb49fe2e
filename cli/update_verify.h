// What kvctl update says and records after the image went out whole: it
// waits for the tracker to restart into the new firmware, reads its IMEI and
// version, and compares the version with the one expected (by default the
// image's own). The verdicts a script and the audit log see:
//   "updated"             the tracker came back and reports the version expected
//                         (or any version when none is expected), exit 0;
//   "sent, not verified"  the image went out whole, but the tracker did not come
//                         back to confirm it within the bound, exit 5
//                         (exit 0 with --no-verify, 130 after Ctrl-C);
//   "failed"              the transfer failed, or the tracker reports another
//                         version, exit 1.
//
// Thread contract: runs on the job's own thread.
#pragma once

#include <string>

#include "job_runner.h"

inline constexpr char UPDATED_VERDICT[] = "updated";
inline constexpr char NOT_VERIFIED_VERDICT[] = "sent, not verified";
inline constexpr char FAILED_VERDICT[] = "failed";

// What one tracker's update ended with, for watch update's line and count.
struct UpdateOutcome {
  enum class Kind { Updated, NotVerified, Failed, Skipped };
  Kind kind = Kind::Failed;
  bool sent = false;    // the whole image was acknowledged by the boot loader
  std::string imei;     // read after the update ("" when unknown)
  std::string version;  // read after the update ("" when unknown)
};

struct UpdatePlan;

// After a whole transfer: waits for the tracker (RETURN_WAIT_MS), prints its
// IMEI and version, and checks it against the plan (RunsExpectedVersion).
// `imageName` is the image's base name for the closing "Update NAME Succeed".
JobResult VerifyUpdate(JobContext& context, const UpdatePlan& plan, const std::string& imageName,
                       UpdateOutcome& outcome);

// Whether a tracker reporting `version` runs what `plan` expects: it holds
// the expected text, or one of the image's texts when it holds several
// (true when the plan expects nothing).
bool RunsExpectedVersion(const UpdatePlan& plan, const std::string& version);
// What the plan expects, for the messages: the text, or "one of A, B".
std::string ExpectedVersionText(const UpdatePlan& plan);
// Whether the plan compares the version read back at all.
bool ComparesVersion(const UpdatePlan& plan);

// The line printed before anything is sent: "image F-0KV..." or that the
// image names no version (with what that means for the check).
std::string ImageVersionLine(const UpdatePlan& plan, bool verify);
