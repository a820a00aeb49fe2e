#define KV_WIN32_REAL_CALLS  // this file calls the real functions
// Events, threads and waits on Windows: the real API, with every time-out
// converted from clock milliseconds, and a count of the handles the layer
// made so that tests can find leaks as on POSIX.
#include <fcntl.h>
#include <stdlib.h>

#include <cmath>
#include <map>

#include "platform/clock.h"
#include "platform/sync.h"
#include "platform/win32_handles.h"

namespace platform::win32 {
namespace {
// Files open in binary mode by default, as on POSIX: the C runtime would
// otherwise turn "\n" into "\r\n" on writes and back on reads. This file is
// in every program (every one waits or closes handles).
const int g_binaryFiles = (_fmode = _O_BINARY);
}  // namespace

namespace detail {
namespace {
std::mutex& TableLock() {
  static auto* lock = new std::mutex;  // never destroyed: detached workers close at exit
  return *lock;
}
std::map<HANDLE, std::shared_ptr<PortState>>& Table() {
  static auto* table = new std::map<HANDLE, std::shared_ptr<PortState>>;
  return *table;
}
}  // namespace

void Track(HANDLE handle, std::shared_ptr<PortState> port) {
  std::lock_guard<std::mutex> lock(TableLock());
  Table()[handle] = std::move(port);
}

bool Untrack(HANDLE handle) {
  std::lock_guard<std::mutex> lock(TableLock());
  return Table().erase(handle) > 0;
}

std::shared_ptr<PortState> PortOf(HANDLE handle) {
  std::lock_guard<std::mutex> lock(TableLock());
  const auto it = Table().find(handle);
  return it == Table().end() ? nullptr : it->second;
}

std::vector<std::pair<HANDLE, std::shared_ptr<PortState>>> OpenPorts() {
  std::lock_guard<std::mutex> lock(TableLock());
  std::vector<std::pair<HANDLE, std::shared_ptr<PortState>>> ports;
  for (const auto& [handle, port] : Table())
    if (port) ports.emplace_back(handle, port);
  return ports;
}

long TrackedCount() {
  std::lock_guard<std::mutex> lock(TableLock());
  return static_cast<long>(Table().size());
}

DWORD RealMs(DWORD clockMs) {
  if (clockMs == INFINITE || clockMs == 0) return clockMs;
  const double real = std::ceil(static_cast<double>(clockMs) / platform::ClockSpeed());
  if (real >= static_cast<double>(INFINITE - 1)) return INFINITE - 1;
  return real < 1 ? 1 : static_cast<DWORD>(real);
}
}  // namespace detail

void Sleep(DWORD clockMs) { platform::SleepMs(clockMs); }

DWORD WaitForSingleObject(HANDLE handle, DWORD clockMs) {
  return ::WaitForSingleObject(handle, detail::RealMs(clockMs));
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD clockMs) {
  return ::WaitForMultipleObjects(count, handles, waitAll, detail::RealMs(clockMs));
}

HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, const char* name) {
  HANDLE event = ::CreateEventA(static_cast<SECURITY_ATTRIBUTES*>(security), manualReset, initialState, name);
  if (event) detail::Track(event, nullptr);
  return event;
}

HANDLE CreateThread(void* security, std::size_t stackSize, DWORD (*start)(void*), void* parameter, DWORD flags,
                    DWORD* threadId) {
  HANDLE thread = ::CreateThread(static_cast<SECURITY_ATTRIBUTES*>(security), stackSize,
                                 reinterpret_cast<LPTHREAD_START_ROUTINE>(start), parameter, flags, threadId);
  if (thread) detail::Track(thread, nullptr);
  return thread;
}

BOOL CloseHandle(HANDLE handle) {
  // Forgotten first: once closed, Windows may hand the same value out again.
  detail::Untrack(handle);
  return ::CloseHandle(handle);
}

}  // namespace platform::win32

namespace platform {

HANDLE RetainHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return handle;
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return INVALID_HANDLE_VALUE;
  win32::detail::Track(copy, win32::detail::PortOf(handle));
  return copy;
}

long LiveHandleCount() { return win32::detail::TrackedCount(); }

}  // namespace platform
