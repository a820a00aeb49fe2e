// Internal, Windows build only: the handles the layer made (events, threads,
// serial ports and their retained copies), and for a serial port what the
// layer keeps beside the real handle: the device path for the trace, the
// time-outs in clock milliseconds, bytes taken from the port by a wait for
// readability and not yet read, and the bytes to write when the process must
// end at once.
//
// Thread contract: every function may be called from any thread; a port's
// state is shared by all handles to the port and guarded by its own lock.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace platform::win32::detail {

struct PortState {
  explicit PortState(std::string p) : path(std::move(p)) {}
  const std::string path;
  std::mutex lock;
  COMMTIMEOUTS clockTimeouts{};  // as the caller set them
  std::string pending;           // read ahead by WaitCommReadable
  std::string exitBytes;
};

// Records a handle the layer made; `port` is null for events and threads.
void Track(HANDLE handle, std::shared_ptr<PortState> port);
// Forgets a handle; false when the layer did not make it.
bool Untrack(HANDLE handle);
// The port behind a handle, or null.
std::shared_ptr<PortState> PortOf(HANDLE handle);
// Every open port handle with its state.
std::vector<std::pair<HANDLE, std::shared_ptr<PortState>>> OpenPorts();
long TrackedCount();

// The comm calls under the layer's port reads and writes: the real API
// unless a test put fakes in their place (one test at a time, before it
// reads or writes).
// (Typed by hand: in a file that includes win32_calls.h the API's names
// stand for the layer's own functions.)
struct CommCalls {
  BOOL(WINAPI* read)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* write)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* clearError)(HANDLE, LPDWORD, LPCOMSTAT);
};
CommCalls& RealCommCalls();

// Clock milliseconds as real ones (INFINITE stays INFINITE; a positive wait
// never becomes 0).
DWORD RealMs(DWORD clockMs);

}  // namespace platform::win32::detail
