#include "ui/gui_call.h"

#include <condition_variable>
#include <memory>
#include <mutex>

#include <QCoreApplication>

#include "ui/application.h"

namespace ui {
namespace {

// Completion of one send. The ticket travels inside the queued call; when the
// call has run, or was discarded unrun (its event deleted at shutdown), the
// last copy of the ticket goes away and wakes the sender.
struct SendState {
  std::mutex lock;
  std::condition_variable done;
  bool finished = false;
  bool result = false;
};

struct SendTicket {
  explicit SendTicket(std::shared_ptr<SendState> s) : state(std::move(s)) {}
  SendTicket(const SendTicket&) = delete;
  SendTicket& operator=(const SendTicket&) = delete;
  ~SendTicket() {
    {
      std::lock_guard<std::mutex> guard(state->lock);
      state->finished = true;
    }
    state->done.notify_all();
  }
  std::shared_ptr<SendState> state;
};

}  // namespace

namespace detail {

bool QueueOnGuiThread(std::function<void()> call) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return false;
  return QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
}

bool RunOnGuiThread(std::function<bool()> call) {
  if (IsGuiThread()) return call();
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return false;

  auto state = std::make_shared<SendState>();
  auto ticket = std::make_shared<SendTicket>(state);
  const bool queued = QMetaObject::invokeMethod(
      app,
      [ticket, call = std::move(call)] {
        const bool result = call();
        std::lock_guard<std::mutex> lock(ticket->state->lock);
        ticket->state->result = result;
      },
      Qt::QueuedConnection);
  ticket.reset();  // from here on only the queued call holds the ticket
  if (!queued) return false;

  std::unique_lock<std::mutex> lock(state->lock);
  state->done.wait(lock, [&] { return state->finished; });
  return state->result;
}

}  // namespace detail

bool SendToGui(std::function<void()> call) {
  return detail::RunOnGuiThread([call = std::move(call)] {
    call();
    return true;
  });
}

}  // namespace ui
