#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/handle_object.h"
#include "platform/sync.h"

namespace {
std::atomic<long> g_liveHandles{0};
thread_local DWORD t_lastError = 0;

struct EventObject final : HandleObject {
  EventObject(bool manual, bool initial)
      : HandleObject(Kind::Event), manualReset(manual), signalled(initial) {}
  bool manualReset;
  bool signalled;
  bool IsSignalled() const override { return signalled; }
  void OnWaitSatisfied() override {
    if (!manualReset) signalled = false;
  }
};

struct ThreadObject final : HandleObject {
  ThreadObject() : HandleObject(Kind::Thread) {}
  bool finished = false;
  DWORD exitCode = 0;
  bool IsSignalled() const override { return finished; }
};
}  // namespace

HandleObject::HandleObject(Kind k) : kind(k) { g_liveHandles.fetch_add(1); }
HandleObject::~HandleObject() { g_liveHandles.fetch_sub(1); }
void HandleObject::Release() {
  if (refs.fetch_sub(1) == 1) delete this;
}

namespace platform {
long LiveHandleCount() { return g_liveHandles.load(); }

HANDLE RetainHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return handle;
  handle->AddRef();
  return handle;
}

namespace detail {
// Never destroyed: a thread whose starter stopped waiting (sync.h) marks
// itself finished under this lock and wakes the waiters, also while the
// process exits.
std::mutex& WaitLock() {
  static auto* m = new std::mutex;
  return *m;
}
std::condition_variable& WaitCondition() {
  static auto* cv = new std::condition_variable;
  return *cv;
}
bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
}  // namespace detail
}  // namespace platform

using platform::detail::IsValid;
using platform::detail::WaitCondition;
using platform::detail::WaitLock;

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) {
  return new EventObject(manualReset != 0, initialState != 0);
}

static BOOL SetEventState(HANDLE event, bool state) {
  if (!IsValid(event) || event->kind != HandleObject::Kind::Event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(WaitLock());
    static_cast<EventObject*>(event)->signalled = state;
  }
  if (state) WaitCondition().notify_all();
  return TRUE;
}

BOOL SetEvent(HANDLE event) { return SetEventState(event, true); }
BOOL ResetEvent(HANDLE event) { return SetEventState(event, false); }

HANDLE CreateThread(void*, std::size_t, LPTHREAD_START_ROUTINE start, void* parameter, DWORD,
                    DWORD* threadId) {
  auto* object = new ThreadObject();
  object->AddRef();  // the running thread's own reference
  try {
    std::thread([object, start, parameter] {
      const DWORD code = start(parameter);
      {
        std::lock_guard<std::mutex> lock(WaitLock());
        object->exitCode = code;
        object->finished = true;
      }
      WaitCondition().notify_all();
      object->Release();
    }).detach();
  } catch (...) {
    object->Release();
    object->Release();
    SetLastError(ERROR_GEN_FAILURE);
    return nullptr;
  }
  if (threadId) *threadId = 0;
  return object;
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
  if (!IsValid(thread) || thread->kind != HandleObject::Kind::Thread) return FALSE;
  std::lock_guard<std::mutex> lock(WaitLock());
  auto* t = static_cast<ThreadObject*>(thread);
  if (exitCode) *exitCode = t->finished ? t->exitCode : 259 /* STILL_ACTIVE */;
  return TRUE;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD timeoutMs) {
  if (count == 0 || waitAll) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  for (DWORD i = 0; i < count; ++i) {
    if (!IsValid(handles[i]) || handles[i]->kind == HandleObject::Kind::SerialPort) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + platform::RealDuration(timeoutMs);
  std::unique_lock<std::mutex> lock(WaitLock());
  for (;;) {
    for (DWORD i = 0; i < count; ++i) {
      if (handles[i]->IsSignalled()) {
        handles[i]->OnWaitSatisfied();
        return WAIT_OBJECT_0 + i;
      }
    }
    if (timeoutMs == INFINITE) {
      WaitCondition().wait(lock);
    } else if (WaitCondition().wait_until(lock, deadline) == std::cv_status::timeout) {
      for (DWORD i = 0; i < count; ++i) {
        if (handles[i]->IsSignalled()) {
          handles[i]->OnWaitSatisfied();
          return WAIT_OBJECT_0 + i;
        }
      }
      return WAIT_TIMEOUT;
    }
  }
}

DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs) {
  return WaitForMultipleObjects(1, &handle, FALSE, timeoutMs);
}

BOOL CloseHandle(HANDLE handle) {
  if (!IsValid(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  handle->Release();
  return TRUE;
}
