#include "ui/window_ref.h"

#include <condition_variable>
#include <mutex>

#include "ui/application.h"

namespace ui {
namespace {

// Completion of one send. The ticket travels inside the queued call; when the
// call has run, or was dropped unrun (the application ended with it still
// queued), the last copy of the ticket goes away and wakes the sender.
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

bool RunOnGuiThread(std::function<bool()> call) {
  if (IsGuiThread()) return call();
  auto state = std::make_shared<SendState>();
  auto ticket = std::make_shared<SendTicket>(state);
  const bool queued = detail::QueueOnGuiThread([ticket, call = std::move(call)] {
    const bool result = call();
    std::lock_guard<std::mutex> lock(ticket->state->lock);
    ticket->state->result = result;
  });
  ticket.reset();  // from here on only the queued call holds the ticket
  if (!queued) return false;

  std::unique_lock<std::mutex> lock(state->lock);
  state->done.wait(lock, [&] { return state->finished; });
  return state->result;
}

}  // namespace

bool SendToGui(std::function<void()> call) {
  return RunOnGuiThread([call = std::move(call)] {
    call();
    return true;
  });
}

TemplateDialog* WindowRef::Get() const { return life_ ? life_->dialog.load() : nullptr; }

bool WindowRef::Post(std::function<void()> call) const {
  if (!life_) return false;
  return detail::QueueOnGuiThread([life = life_, call = std::move(call)] {
    if (life->dialog.load() != nullptr) call();
  });
}

bool WindowRef::Send(std::function<void()> call) const {
  if (!life_) return false;
  return RunOnGuiThread([life = life_, call = std::move(call)] {
    if (life->dialog.load() == nullptr) return false;
    call();
    return true;
  });
}

}  // namespace ui
