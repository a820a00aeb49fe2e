// Internal: the object behind a HANDLE on POSIX. Waitable objects (events,
// threads) report their state under one process-wide lock so that waits on
// several handles need no per-object bookkeeping.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/win_types.h"

struct HandleObject {
  enum class Kind { Event, Thread, SerialPort };
  explicit HandleObject(Kind k);
  virtual ~HandleObject();
  HandleObject(const HandleObject&) = delete;
  HandleObject& operator=(const HandleObject&) = delete;

  const Kind kind;
  std::atomic<int> refs{1};

  void AddRef() { refs.fetch_add(1); }
  void Release();

  // Called with WaitLock() held.
  virtual bool IsSignalled() const { return false; }
  virtual void OnWaitSatisfied() {}
};

namespace platform::detail {
std::mutex& WaitLock();
std::condition_variable& WaitCondition();
bool IsValid(HANDLE h);
}  // namespace platform::detail
