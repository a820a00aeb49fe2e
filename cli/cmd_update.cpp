// kvctl update: the Update button's whole job, and then the check the window
// does not make. The image is opened, measured and read into memory first, so
// a file that cannot be sent is refused while the tracker is still in its
// menu; the version it names and its SHA-256 are taken from that copy, and
// the version is printed before anything is sent. Then the boot loader's
// download is selected with "1" and its prompt awaited on the tool's port,
// which is then closed and opened again by the firmware channel for the
// YMODEM transfer of the copy. After a whole transfer kvctl waits for the
// tracker to restart and reads its IMEI and version (update_verify.h);
// nothing is asked of the tracker before the hand-off, since a menu choice
// other than "1" takes it out of its menu.
#include <unistd.h>

#include <chrono>
#include <memory>

#include "commands.h"
#include "common/tool_texts.h"
#include "common/tool_timings.h"
#include "console.h"
#include "firmware/firmware_transfer.h"
#include "image_version.h"
#include "interrupt.h"
#include "progress_bar.h"
#include "provision_job.h"
#include "provision_setup.h"
#include "common/sha256.h"
#include "serial/imei_query.h"
#include "stoppable_transfer.h"
#include "tracker_session.h"
#include "wait_notice.h"

namespace {

const char kRefusedText[] = "Refused before anything was sent to the tracker";

// Everything up to the end of the transfer of the plan's copy of the image;
// `outcome.sent` when the boot loader acknowledged the whole image.
JobResult SendImage(JobContext& context, const UpdatePlan& plan, bool several, UpdateOutcome& outcome) {
  JobResult result;
  const std::string& image = plan.image;
  if (!plan.firmware) {
    result.code = kExitRefused;
    result.verdict = "refused";
    result.detail = image + ": " + plan.problem;
    context.Fail(kRefusedText, result.detail);
    return result;
  }
  FirmwareImage& firmware = *plan.firmware;  // loaded: only read, shared by the trackers
  FirmwareTransferReport report;

  // The command that finishes the job after an interrupt.
  std::string again = "kvctl update " + ShellWord(context.Port());
  if (!plan.options.verify) again += " --no-verify";
  if (!plan.options.expectVersion.empty()) again += " --expect-version " + ShellWord(plan.options.expectVersion);
  again += " " + ShellWord(image);
  HANDLE port = OpenAndProbeTracker(context, result);
  if (port == INVALID_HANDLE_VALUE) return result;
  bool prompted = false;
  {
    WaitNotice notice(context);
    notice.Show(SWITCHING_NOTICE);
    prompted = RequestFirmwareDownload(port, FILE_PROMPT_WAIT_MS);
  }
  CloseHandle(port);  // the firmware channel opens the port itself
  if (!prompted && SayIfInterrupted(context, result,
                                    "the boot loader's download (\"1\") was asked for: the tracker "
                                    "may be in its boot loader; to finish the job, run: " +
                                        again))
    return result;
  if (!prompted) {
    result.code = kExitFailed;
    result.verdict = "no file prompt";
    result.detail = "update: no \"Waiting for the file to be sent\" within " + std::to_string(FILE_PROMPT_WAIT_MS) +
                    " ms after \"1\"";
    context.Fail(RESET_DEVICE_TEXT, result.detail);
    return result;
  }

  context.Say("Sending " + image);
  const auto total = static_cast<std::uint64_t>(firmware.size);
  ProgressDisplay progress(total, !several && console::CanRedrawLine(STDOUT_FILENO),
                           [&](const std::string& line) { context.Say(line); });
  bool failed = false;
  bool stopped = false;
  {
    WaitNotice notice(context);
    notice.Show(RECEIVER_NOTICE);
    const FirmwareObserver observer = ObserverFor(progress, [&notice] { notice.Clear(); });
    failed = RunStoppableFirmwareTransfer(context.Port().c_str(), firmware, observer, &report, &stopped) != 0;
  }
  progress.Finish();
  if (stopped && SayIfInterrupted(context, result,
                                  "update cancelled: the tracker is left in its boot loader without the new "
                                  "firmware; to finish the job, run: " +
                                      again))
    return result;
  if (failed) {
    result.code = kExitFailed;
    result.verdict = "update failed";
    result.detail = DescribeFirmwareTransfer(context.Port().c_str(), report);
    context.Fail(UpdateResultText(image.substr(image.find_last_of("/\\") + 1), false), result.detail);
    return result;
  }
  context.Say(progress.Summary());
  outcome.sent = true;
  return result;
}

}  // namespace

UpdatePlan MakeUpdatePlan(const std::string& image, const UpdateOptions& options) {
  UpdatePlan plan;
  plan.image = image;
  plan.options = options;
  // The image is measured first (a file too large for the header is refused
  // without being read), then read once into memory: every tracker gets that
  // copy, and its version and the digest in the audit line are taken from
  // it, whatever happens to the file during the transfers. An image that
  // cannot be sent is reported by each tracker's job.
  auto firmware = std::make_shared<FirmwareImage>();
  FirmwareTransferReport report;
  // An empty image would leave the tracker without firmware; the window
  // sends one as the user chose, a script gets a refusal.
  if (!OpenFirmwareImage(image.c_str(), *firmware, &report)) plan.problem = FirmwareFileProblem(report);
  else if (firmware->size == 0) plan.problem = "the image is empty (0 bytes)";
  else if (!LoadFirmwareImage(*firmware, &report)) plan.problem = FirmwareFileProblem(report);
  if (plan.problem.empty()) {
    plan.readable = true;
    plan.imageSha256 = Sha256Hex(firmware->bytes);
    plan.imageVersionTexts = ImageVersionTexts(firmware->bytes, IMAGE_VERSION_TEXTS_MOST);
    if (plan.imageVersionTexts.size() == 1) plan.imageVersion = plan.imageVersionTexts[0];
    plan.firmware = std::move(firmware);
  }
  plan.expected = options.expectVersion.empty() ? plan.imageVersion : options.expectVersion;
  // Several texts: the tracker that runs the image reports one of them
  // (past the count kept, which of them is not known: nothing is compared).
  if (options.expectVersion.empty() && plan.imageVersionTexts.size() > 1 &&
      plan.imageVersionTexts.size() < IMAGE_VERSION_TEXTS_MOST)
    plan.expectedOneOf = plan.imageVersionTexts;
  // An image that names a version which cannot hold the one expected would
  // fail its check on every tracker, after each was flashed with it.
  if (plan.firmware && !options.expectVersion.empty() && !plan.imageVersion.empty() &&
      !ReportsVersion(plan.imageVersion, options.expectVersion)) {
    plan.problem = "it names " + plan.imageVersion + ", which does not hold --expect-version " + options.expectVersion +
                   " (the check after the update could only fail; with --no-verify the "
                   "image is sent without the check)";
    plan.firmware.reset();
  }
  return plan;
}

JobResult UpdateTracker(JobContext& context, const UpdatePlan& plan, bool several, UpdateOutcome& outcome) {
  const std::string base = plan.image.substr(plan.image.find_last_of("/\\") + 1);
  JobResult result = SendImage(context, plan, several, outcome);
  if (!outcome.sent) {
    outcome.kind = UpdateOutcome::Kind::Failed;
    // Failures after the tracker was touched share one verdict; the reason
    // stays in the detail. A refusal or an interrupt keeps its own.
    if (result.code == kExitFailed || result.code == kExitOpenFailed) {
      result.detail = result.verdict + ": " + result.detail;
      result.verdict = FAILED_VERDICT;
    }
    return result;
  }
  // From here on running the update again would flash the tracker once
  // more: a quit at once says what is left to do instead (one tracker; with
  // several, others may still be in their transfer).
  if (!several)
    SetQuitLine(
        "\nkvctl: quit at once; the transfer was complete (the image went out whole): kvctl "
        "version " +
        ShellWord(context.Port()) + " shows the firmware the tracker runs\n");
  if (!plan.options.verify) {
    outcome.kind = UpdateOutcome::Kind::NotVerified;
    context.Say(UpdateResultText(base, true));
    result.verdict = NOT_VERIFIED_VERDICT;
    result.detail = "--no-verify: the tracker's return was not awaited";
    return result;
  }
  return VerifyUpdate(context, plan, base, outcome);
}

void AppendUpdateAuditLine(JobContext& context, const UpdatePlan& plan, const std::string& imei,
                           const std::string& version, JobResult& result, double seconds) {
  if (!plan.log) return;
  AuditRecord audit;
  audit.command = "update";
  audit.port = context.Port();
  audit.image = AbsolutePath(plan.image);
  audit.imageSha256 = plan.imageSha256;
  audit.imageVersion = plan.imageVersion;
  audit.imei = imei;
  audit.firmwareVersion = version;
  AppendAuditLine(context, plan.log, audit, result, seconds);
}

JobResult UpdateTrackerWithAudit(JobContext& context, const UpdatePlan& plan, bool several, UpdateOutcome& outcome) {
  const auto start = std::chrono::steady_clock::now();
  JobResult result = UpdateTracker(context, plan, several, outcome);
  AppendUpdateAuditLine(context, plan, outcome.imei, outcome.version, result,
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return result;
}

int CmdUpdate(const std::vector<std::string>& ports, const std::string& image, const AuditLog* log,
              const UpdateOptions& options) {
  UpdatePlan plan = MakeUpdatePlan(image, options);
  plan.log = log;
  // Said once, before any tracker hears anything; an image that cannot be
  // read is refused by each tracker's job.
  if (plan.readable) console::Out(ImageVersionLine(plan, options.verify));
  const bool several = ports.size() > 1;
  return RunOnPorts(ports, [&](JobContext& context) {
    UpdateOutcome outcome;
    return UpdateTrackerWithAudit(context, plan, several, outcome);
  });
}

int CmdUpdate(const std::vector<std::string>& ports, const std::string& image, const AuditLog* log) {
  UpdateOptions transferOnly;
  transferOnly.verify = false;
  return CmdUpdate(ports, image, log, transferOnly);
}
