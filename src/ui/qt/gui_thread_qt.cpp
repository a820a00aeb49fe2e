// Queued calls on Qt's event loop: each call travels in an event posted to
// one receiver object that lives on the GUI thread.
#include "ui/window_ref.h"

#include <memory>
#include <mutex>

#include <QCoreApplication>
#include <QEvent>

namespace ui {
namespace {

std::mutex& HandOverLock() {
  static std::mutex lock;
  return lock;
}

// A queued call; run and destroyed on the GUI thread (or destroyed unrun when
// the application ends with it still queued).
class CallEvent : public QEvent {
 public:
  static QEvent::Type Type() {
    static const int type = QEvent::registerEventType();
    return static_cast<QEvent::Type>(type);
  }
  explicit CallEvent(std::function<void()> call) : QEvent(Type()), call_(std::move(call)) {}
  ~CallEvent() override {
    std::lock_guard<std::mutex> lock(HandOverLock());
    call_ = nullptr;
  }
  void Run() {
    std::function<void()> call;
    {
      std::lock_guard<std::mutex> lock(HandOverLock());
      call.swap(call_);
    }
    if (call) call();
  }

 private:
  std::function<void()> call_;
};

// Receives the queued calls; lives on the GUI thread for the whole run.
class CallReceiver : public QObject {
 public:
  bool event(QEvent* e) override {
    // The event may have been made on a worker thread: its type is read under
    // the hand-over lock as well.
    bool isCall = false;
    {
      std::lock_guard<std::mutex> lock(HandOverLock());
      isCall = e->type() == CallEvent::Type();
    }
    if (!isCall) return QObject::event(e);
    static_cast<CallEvent*>(e)->Run();
    return true;
  }
};

QObject* Receiver() {
  static CallReceiver* receiver = [] {
    auto* r = new CallReceiver;  // kept to the end of the process
    r->moveToThread(QCoreApplication::instance()->thread());
    return r;
  }();
  return receiver;
}

}  // namespace

namespace detail {

bool QueueOnGuiThread(std::function<void()> call) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return false;
  // The event belongs to Qt's queue from here on; this thread never touches
  // it again. The hand-over lock orders the call's captures before the GUI
  // thread's use of them in a way thread checkers can see. The receiver is
  // made first: making it delivers an event to it, which takes the lock.
  QObject* receiver = Receiver();
  std::lock_guard<std::mutex> lock(HandOverLock());
  QCoreApplication::postEvent(receiver, new CallEvent(std::move(call)));
  return true;
}

}  // namespace detail

}  // namespace ui
