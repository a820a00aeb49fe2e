// Calls from worker threads into the GUI thread, the stand-in for posting and
// sending window messages.
//
// Thread contract: Post and Send may be called from any thread. The guard is
// a QPointer made on the GUI thread and handed to the worker; the worker
// never dereferences it. The call runs on the GUI thread only while the
// guarded object still exists there, so a call into a window that is gone
// does nothing.
//
// Send blocks the caller until the GUI thread has run the call (or dropped
// it). It never deadlocks against the GUI thread's own waits: every wait the
// GUI thread makes for a worker is a pumped wait (pumped_wait.h), which keeps
// serving these calls, and every such wait is bounded. A call still queued
// when the application ends is dropped, which also releases its sender.
// Called on the GUI thread, Send runs the call at once.
#pragma once

#include <functional>
#include <utility>

#include <QPointer>

namespace ui {

namespace detail {
// Queues `call` for the GUI thread; false without an application object.
bool QueueOnGuiThread(std::function<void()> call);
// Runs `call` on the GUI thread and waits; its result, or false when it was
// dropped unrun.
bool RunOnGuiThread(std::function<bool()> call);
// True for the object that receives the queued calls. Their events are made
// on worker threads and may be read only under the hand-over lock, so
// application-wide event filters leave them alone.
bool IsCallReceiver(const QObject* object);
}  // namespace detail

// Queues `call` for the GUI thread. False when there is no event loop to
// take it (no application object).
template <class Object>
bool Post(const QPointer<Object>& guard, std::function<void()> call) {
  return detail::QueueOnGuiThread([guard, call = std::move(call)] {
    if (!guard.isNull()) call();
  });
}

// Runs `call` on the GUI thread and waits for it. True when it ran; false
// when the guarded object was gone or the application ended first.
template <class Object>
bool Send(const QPointer<Object>& guard, std::function<void()> call) {
  return detail::RunOnGuiThread([guard, call = std::move(call)] {
    if (guard.isNull()) return false;
    call();
    return true;
  });
}

// The same without a guard, for calls that touch no window (message boxes
// and file dialogs owned by whatever window is there).
bool SendToGui(std::function<void()> call);

}  // namespace ui
