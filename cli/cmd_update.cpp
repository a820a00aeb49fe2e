// kvctl update: the Update button's whole job. The image is opened and
// measured first, so a file that cannot be sent is refused while the tracker
// is still in its menu. Then the boot loader's download is selected with "1"
// and its prompt awaited on the tool's port, which is then closed and opened
// again by the firmware channel for the YMODEM transfer.
#include <unistd.h>

#include "commands.h"
#include "common/tool_texts.h"
#include "common/tool_timings.h"
#include "console.h"
#include "firmware/firmware_transfer.h"
#include "progress_bar.h"
#include "provision_job.h"
#include "provision_setup.h"
#include "sha256.h"
#include "serial/imei_query.h"
#include "stoppable_transfer.h"
#include "tracker_session.h"
#include "wait_notice.h"

namespace {

const char kRefusedText[] = "Refused before anything was sent to the tracker";

}  // namespace

int CmdUpdate(const std::vector<std::string>& ports, const std::string& image, const AuditLog* log) {
  const bool several = ports.size() > 1;
  // The image's digest for the audit log; an image that cannot be read is
  // reported by each tracker's job.
  AuditRecord audit;
  audit.command = "update";
  audit.image = AbsolutePath(image);
  std::string unreadable;
  Sha256OfFile(image, audit.imageSha256, unreadable);
  return RunOnPorts(ports, WithAuditLine(log, audit, [&](JobContext& context) {
    JobResult result;
    const std::string base = image.substr(image.find_last_of("/\\") + 1);
    FirmwareImage firmware;
    FirmwareTransferReport report;
    // An empty image would leave the tracker without firmware; the window
    // sends one as the user chose, a script gets a refusal.
    if (!OpenFirmwareImage(image.c_str(), firmware, &report) || firmware.size == 0) {
      const std::string problem = firmware.file ? "the image is empty (0 bytes)" : FirmwareFileProblem(report);
      result.code = kExitRefused;
      result.verdict = "refused";
      result.detail = image + ": " + problem;
      context.Fail(kRefusedText, result.detail);
      return result;
    }

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
                                      "may be in its boot loader; run kvctl update again"))
      return result;
    if (!prompted) {
      result.code = kExitFailed;
      result.verdict = "no file prompt";
      result.detail = "update: no \"Waiting for the file to be sent\" within " +
                      std::to_string(FILE_PROMPT_WAIT_MS) + " ms after \"1\"";
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
      failed = RunStoppableFirmwareTransfer(context.Port().c_str(), firmware, observer, &report,
                                            &stopped) != 0;
    }
    progress.Finish();
    if (stopped &&
        SayIfInterrupted(context, result,
                         "update cancelled: the tracker is left in its boot loader without the new "
                         "firmware; run kvctl update again"))
      return result;
    if (failed) {
      result.code = kExitFailed;
      result.verdict = "update failed";
      result.detail = DescribeFirmwareTransfer(context.Port().c_str(), report);
      context.Fail(UpdateResultText(base, false), result.detail);
      return result;
    }
    context.Say(progress.Summary());
    context.Say(UpdateResultText(base, true));
    result.verdict = "Succeed";
    return result;
  }));
}
