// Calls from worker threads into the GUI thread, the stand-in for posting and
// sending window messages, through a reference to a dialog that a worker may
// hold safely.
//
// A WindowRef is made by the dialog on the GUI thread (TemplateDialog::Ref)
// and copied freely to workers. It never keeps the dialog alive: a call
// posted through it runs on the GUI thread only while the dialog still
// exists there, so a call into a window that is gone does nothing. DialogRef
// is the same with the dialog's own type.
//
// Send blocks the caller until the GUI thread has run the call (or dropped
// it). It cannot deadlock against the GUI thread: that thread never blocks
// on a worker that may send (its long waits run on workers and continue
// through posted calls, background_work.h). A call still queued when the
// application ends is dropped, which also releases its sender. Called on the
// GUI thread, Send runs the call at once.
//
// Thread contract: Post and Send from any thread; Get on the GUI thread only.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

namespace ui {

class TemplateDialog;

namespace detail {
// Queues `call` for the GUI thread; false without an application (the
// toolkit's implementation). A call that cannot run any more is destroyed
// unrun, on whatever thread drops it.
bool QueueOnGuiThread(std::function<void()> call);
}  // namespace detail

// Runs `call` on the GUI thread and waits for it. True when it ran; false
// when the application ended first.
bool SendToGui(std::function<void()> call);

class WindowRef {
 public:
  WindowRef() = default;

  // Queues `call`; it runs only while the dialog exists. False when there
  // is no event loop to take it.
  bool Post(std::function<void()> call) const;
  // Runs `call` on the GUI thread and waits. True when it ran; false when
  // the dialog was gone or the application ended first.
  bool Send(std::function<void()> call) const;

  // GUI thread only: the dialog, or null once it is gone (or for an empty reference).
  TemplateDialog* Get() const;
  bool Empty() const { return !life_; }

 private:
  friend class TemplateDialog;
  struct Life {
    explicit Life(TemplateDialog* d) : dialog(d) {}
    std::atomic<TemplateDialog*> dialog;
  };
  explicit WindowRef(std::shared_ptr<Life> life) : life_(std::move(life)) {}

  std::shared_ptr<Life> life_;
};

// A WindowRef whose calls get the dialog as its own type.
template <class Dialog>
class DialogRef {
 public:
  DialogRef() = default;
  explicit DialogRef(WindowRef ref) : ref_(std::move(ref)) {}

  bool Post(std::function<void(Dialog&)> call) const {
    return ref_.Post([ref = ref_, call = std::move(call)] { call(static_cast<Dialog&>(*ref.Get())); });
  }
  bool Send(std::function<void(Dialog&)> call) const {
    return ref_.Send([ref = ref_, call = std::move(call)] { call(static_cast<Dialog&>(*ref.Get())); });
  }
  const WindowRef& Window() const { return ref_; }

 private:
  WindowRef ref_;
};

}  // namespace ui
