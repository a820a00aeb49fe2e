#include "ui/pumped_wait.h"

#include <atomic>
#include <thread>
#include <vector>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>

#include "ui/application.h"
#include "ui/gui_call.h"

namespace ui {
namespace {

// Drops user input while a pumped wait runs.
class InputBlocker : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (detail::IsCallReceiver(watched)) return false;  // a worker's call, not input
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::NonClientAreaMouseButtonPress:
      case QEvent::NonClientAreaMouseButtonRelease:
      case QEvent::NonClientAreaMouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TouchCancel:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
      case QEvent::TabletMove:
      case QEvent::ContextMenu:
        return true;
      case QEvent::Close:
        // The close box: a request from outside, not the program's own close().
        if (event->spontaneous()) {
          event->ignore();
          return true;
        }
        return false;
      default:
        return QObject::eventFilter(watched, event);
    }
  }
};

struct DeferredCall {
  QPointer<QObject> guard;
  std::function<void()> call;
  const void* key;
};

int g_depth = 0;                        // GUI thread only
InputBlocker* g_blocker = nullptr;      // GUI thread only
std::vector<DeferredCall> g_deferred;   // GUI thread only

void EnterWait() {
  if (g_depth++ > 0) return;
  g_blocker = new InputBlocker;
  qApp->installEventFilter(g_blocker);
  if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    gui->setOverrideCursor(Qt::WaitCursor);
  }
}

void LeaveWait() {
  if (--g_depth > 0) return;
  qApp->removeEventFilter(g_blocker);
  delete g_blocker;
  g_blocker = nullptr;
  if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    gui->restoreOverrideCursor();
  }
  // Deferred handlers run as queued calls, after the handler that waited has
  // returned; one that meets another wait by then is deferred again.
  std::vector<DeferredCall> calls;
  calls.swap(g_deferred);
  for (DeferredCall& d : calls) {
    Post(d.guard, [guard = d.guard, call = std::move(d.call), key = d.key] {
      if (InPumpedWait()) {
        RunAfterPumpedWaits(guard, call, key);
      } else {
        call();
      }
    });
  }
}

}  // namespace

bool InPumpedWait() { return g_depth > 0; }

void RunAfterPumpedWaits(const QPointer<QObject>& guard, std::function<void()> call,
                         const void* key) {
  if (key != nullptr) {
    for (const DeferredCall& d : g_deferred) {
      if (d.key == key && d.guard == guard) return;
    }
  }
  g_deferred.push_back(DeferredCall{guard, std::move(call), key});
}

DWORD WaitPumping(HANDLE handle, DWORD timeoutMs) { return WaitPumpingAny(1, &handle, timeoutMs); }

DWORD WaitPumpingAny(DWORD count, const HANDLE* handles, DWORD timeoutMs) {
  if (!IsGuiThread()) return WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
  const DWORD now = WaitForMultipleObjects(count, handles, FALSE, 0);
  if (now != WAIT_TIMEOUT || timeoutMs == 0) return now;

  EnterWait();
  HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::vector<HANDLE> waitOn(handles, handles + count);
  waitOn.push_back(cancel);
  std::atomic<DWORD> result{WAIT_TIMEOUT};
  QEventLoop loop;
  // The waiter blocks on the handles; the GUI thread runs its event loop until
  // the waiter says the wait is over.
  const QPointer<QEventLoop> loopGuard(&loop);
  std::thread waiter([&, loopGuard] {
    const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(waitOn.size()), waitOn.data(), FALSE, timeoutMs);
    result = (r == WAIT_OBJECT_0 + count) ? WAIT_TIMEOUT : r;
    Post(loopGuard, [loopGuard] { loopGuard->quit(); });
  });
  loop.exec();
  // The loop also ends when the application quits: stop the waiter then.
  SetEvent(cancel);
  waiter.join();
  CloseHandle(cancel);
  LeaveWait();
  return result.load();
}

}  // namespace ui
