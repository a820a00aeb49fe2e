#include <thread>

#include "platform/sync.h"
#include "platform/waitable_posix.h"

namespace {
std::atomic<long> g_liveHandles{0};
thread_local DWORD t_lastError = 0;

using platform::detail::Waitable;

struct EventObject final : Waitable {
  EventObject(bool manual, bool initial) : Waitable(Kind::Event, manual, initial) {}
};

// Signalled (for good) when its routine has returned.
struct ThreadObject final : Waitable {
  ThreadObject() : Waitable(Kind::Thread, true, false) {}
  std::atomic<DWORD> exitCode{0};
};

bool IsWaitable(HANDLE h) { return h->kind == HandleObject::Kind::Event || h->kind == HandleObject::Kind::Thread; }
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
bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
}  // namespace detail
}  // namespace platform

using platform::detail::IsValid;

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) {
  return new EventObject(manualReset != 0, initialState != 0);
}

static EventObject* AsEvent(HANDLE event) {
  if (!IsValid(event) || event->kind != HandleObject::Kind::Event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return static_cast<EventObject*>(event);
}

BOOL SetEvent(HANDLE event) {
  EventObject* object = AsEvent(event);
  if (object == nullptr) return FALSE;
  platform::detail::Signal(*object);
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  EventObject* object = AsEvent(event);
  if (object == nullptr) return FALSE;
  platform::detail::Unsignal(*object);
  return TRUE;
}

HANDLE CreateThread(void*, std::size_t, LPTHREAD_START_ROUTINE start, void* parameter, DWORD, DWORD* threadId) {
  auto* object = new ThreadObject();
  object->AddRef();  // the running thread's own reference
  try {
    std::thread([object, start, parameter] {
      object->exitCode = start(parameter);
      platform::detail::Signal(*object);
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
  auto* t = static_cast<ThreadObject*>(thread);
  const bool finished = platform::detail::IsSignalled(*t);
  if (exitCode) *exitCode = finished ? t->exitCode.load() : 259 /* STILL_ACTIVE */;
  return TRUE;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD timeoutMs) {
  if (count == 0 || count > platform::detail::kMaxWaitObjects) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  Waitable* objects[platform::detail::kMaxWaitObjects];
  for (DWORD i = 0; i < count; ++i) {
    if (!IsValid(handles[i]) || !IsWaitable(handles[i])) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objects[i] = static_cast<Waitable*>(handles[i]);
    // As on Windows, a wait for all may name an object only once.
    for (DWORD j = 0; waitAll && j < i; ++j) {
      if (objects[j] == objects[i]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
      }
    }
  }
  // The wait holds the objects, so a handle closed meanwhile cannot free one.
  for (DWORD i = 0; i < count; ++i) objects[i]->AddRef();
  const DWORD result = platform::detail::WaitForObjects(count, objects, waitAll != 0, timeoutMs);
  for (DWORD i = 0; i < count; ++i) objects[i]->Release();
  return result;
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
