// Internal: the object behind a HANDLE on POSIX, counted by its references
// (CloseHandle and platform::RetainHandle). Events and threads are waitable
// (waitable_posix.h); a serial port is not.
#pragma once

#include <atomic>

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
};

namespace platform::detail {
bool IsValid(HANDLE h);
}  // namespace platform::detail
