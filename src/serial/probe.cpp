#include "serial/probe.h"

#include <cstring>
#include <string_view>

#include "platform/clock.h"
#include "platform/serial_io.h"

std::atomic<BYTE> g_bDeviceFound{0};

namespace {
const char kProbeCommand[] = "ati\r";
// The most one look at the line takes in.
constexpr DWORD kProbeReadSize = 128;

// Searches all `length` bytes, NULs included: a stray NUL in the answer
// must not hide the words after it.
bool Contains(const char* bytes, DWORD length, const char* word) {
  return std::string_view(bytes, length).find(word) != std::string_view::npos;
}

void WriteCommand(HANDLE port, const char* command) {
  DWORD written = 0;
  WriteFile(port, command, static_cast<DWORD>(std::strlen(command)), &written, nullptr);
}
}  // namespace

DWORD ProbeThreadProc(void* param) {
  auto* job = static_cast<ProbeJob*>(param);
  HANDLE port = job->port;
  PurgeComm(port, PURGE_RXCLEAR);
  WriteCommand(port, kProbeCommand);
  for (int counter = 0;; ++counter) {
    Sleep(PROBE_POLL_MS);
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(port, &errors, &status) && status.cbInQue != 0) {
      // One read of at most kProbeReadSize bytes is examined on its own;
      // text that spans two reads is not joined.
      char buffer[kProbeReadSize] = {};
      DWORD got = 0;
      ReadFile(port, buffer, sizeof buffer, &got, nullptr);
      if ((Contains(buffer, got, "SIEMENS") && Contains(buffer, got, "OK")) || Contains(buffer, got, "Main Menu")) {
        job->found->store(1);
        CloseHandle(port);
        delete job;
        return 1;
      }
    }
    // A line that went away (cable pulled) can answer no more: the probe
    // ends at once instead of polling it to the last.
    if (counter >= PROBE_LAST_POLL || (job->stop && job->stop->load()) || platform::CommLineLost(port)) break;
    if (counter % PROBE_ATI_EVERY == 0) WriteCommand(port, kProbeCommand);
  }
  CloseHandle(port);
  delete job;
  return 1;
}

HANDLE StartProbeThread(HANDLE port, std::shared_ptr<std::atomic<BYTE>> found,
                        std::shared_ptr<std::atomic<bool>> stop) {
  if (!found) found = std::shared_ptr<std::atomic<BYTE>>(&g_bDeviceFound, [](auto*) {});
  auto* job = new ProbeJob{platform::RetainHandle(port), std::move(found), std::move(stop)};
  HANDLE thread = CreateThread(nullptr, 0, ProbeThreadProc, job, 0, nullptr);
  if (thread == nullptr) {
    CloseHandle(job->port);
    delete job;
  }
  return thread;
}

bool StopProbeThread(HANDLE probe, std::atomic<bool>& stop) {
  stop = true;
  const bool ended = WaitForSingleObject(probe, PROBE_STOP_WAIT_MS) == WAIT_OBJECT_0;
  CloseHandle(probe);
  return ended;
}

bool ProbeTracker(HANDLE port, DWORD boundMs) {
  auto found = std::make_shared<std::atomic<BYTE>>(0);
  auto stop = std::make_shared<std::atomic<bool>>(false);
  HANDLE thread = StartProbeThread(port, found, stop);
  if (thread == nullptr) return false;
  WaitForSingleObject(thread, boundMs);
  StopProbeThread(thread, *stop);
  return found->load() == 1;
}
