#include "update_verify.h"

#include "commands.h"
#include "common/tool_texts.h"
#include "exit_codes.h"
#include "image_version.h"
#include "terminal_text.h"
#include "tracker_return.h"

namespace {

std::string Seconds(DWORD ms) { return std::to_string(ms / 1000) + " s"; }

}  // namespace

bool RunsExpectedVersion(const UpdatePlan& plan, const std::string& version) {
  if (plan.expectedOneOf.empty()) return ReportsVersion(version, plan.expected);
  for (const std::string& text : plan.expectedOneOf)
    if (ReportsVersion(version, text)) return true;
  return false;
}

std::string ExpectedVersionText(const UpdatePlan& plan) {
  if (plan.expectedOneOf.empty()) return TextForStdout(plan.expected);
  std::string text = "one of ";
  for (std::size_t i = 0; i < plan.expectedOneOf.size(); ++i)
    text += (i ? ", " : "") + TextForStdout(plan.expectedOneOf[i]);
  return text;
}

bool ComparesVersion(const UpdatePlan& plan) { return !plan.expected.empty() || !plan.expectedOneOf.empty(); }

std::string ImageVersionLine(const UpdatePlan& plan, bool verify) {
  const std::string& imageVersion = plan.imageVersion;
  const std::string& expected = plan.expected;
  std::string line;
  if (!imageVersion.empty()) {
    line = "image " + TextForStdout(imageVersion);
  } else if (plan.imageVersionTexts.size() > 1) {
    // Two builds' texts in one file: which one the tracker will report is
    // unknown, so neither is taken as the one to expect.
    line = "image names no version: it holds " +
           std::string(plan.imageVersionTexts.size() > 3 ? "several" : std::to_string(plan.imageVersionTexts.size())) +
           " different version texts (";
    for (std::size_t i = 0; i < plan.imageVersionTexts.size() && i < 3; ++i)
      line += (i ? ", " : "") + TextForStdout(plan.imageVersionTexts[i]);
    line += plan.imageVersionTexts.size() > 3 ? ", ...)" : ")";
  } else {
    line = "image names no version (no \"F-0KV...)\" text in it)";
  }
  if (!verify) return line;
  if (!plan.expectedOneOf.empty()) return line + "; expecting a tracker that reports one of them";
  if (expected.empty())
    return line + "; the version after the update is read, not compared (--expect-version TEXT compares it)";
  if (expected != imageVersion) line += "; expecting a tracker that reports " + TextForStdout(expected);
  return line;
}

JobResult VerifyUpdate(JobContext& context, const UpdatePlan& plan, const std::string& imageName,
                       UpdateOutcome& outcome) {
  JobResult result;
  TrackerIdentity identity;
  bool lostPort = false;
  const ReturnOutcome back = AwaitTrackerReturn(context, RETURN_WAIT_MS, identity, lostPort);
  outcome.imei = identity.imei;
  outcome.version = identity.version;
  const std::string sent = "the image went out whole";
  if (back == ReturnOutcome::Interrupted) {
    outcome.kind = UpdateOutcome::Kind::NotVerified;
    result.code = kExitInterrupted;
    result.verdict = NOT_VERIFIED_VERDICT;
    result.detail = "the transfer is complete (" + sent +
                    "); the wait for the tracker to restart was interrupted: kvctl version " + context.Port() +
                    " shows the firmware it runs";
    context.Fail("Interrupted", result.detail);
    return result;
  }
  if (back == ReturnOutcome::NotBack || identity.version.empty()) {
    outcome.kind = UpdateOutcome::Kind::NotVerified;
    result.code = kExitNotVerified;
    result.verdict = NOT_VERIFIED_VERDICT;
    result.detail = back == ReturnOutcome::NotBack
                        ? (lostPort ? "the port " + context.Port() + " went away while the tracker restarted"
                                    : "no tracker answered on " + context.Port() + " within " +
                                          Seconds(RETURN_WAIT_MS) + " after the transfer")
                        : "the tracker came back but did not report its firmware version";
    result.detail += "; " + sent + ": power the tracker off and on, then kvctl version " + context.Port();
    context.Fail("Sent, not verified", result.detail);
    return result;
  }
  const std::string imei = identity.imei.empty() ? "(no IMEI answer)" : TextForStdout(identity.imei);
  context.Say("IMEI " + imei + ", firmware " + TextForStdout(identity.version));
  if (!RunsExpectedVersion(plan, identity.version)) {
    outcome.kind = UpdateOutcome::Kind::Failed;
    result.code = kExitFailed;
    result.verdict = FAILED_VERDICT;
    result.detail = "the tracker reports " + TextForStdout(identity.version) + ", not " + ExpectedVersionText(plan);
    context.Fail(result.detail, "");
    return result;
  }
  outcome.kind = UpdateOutcome::Kind::Updated;
  result.verdict = UPDATED_VERDICT;
  result.detail = "IMEI " + imei + ", " + TextForStdout(identity.version);
  context.Say(UpdateResultText(imageName, true));
  return result;
}
