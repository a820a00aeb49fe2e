// The toolkit-free part of TemplateDialog: its life, the busy state, the
// held-back ticks and device changes, and the long waits. The toolkit's part (window,
// controls) is in qt/template_dialog_qt.cpp.
#include "ui/template_dialog.h"

#include <cassert>

#include "ui/application.h"

namespace ui {

TemplateDialog::TemplateDialog(const DialogTemplate& dialogTemplate, TemplateDialog* owner)
    : life_(std::make_shared<WindowRef::Life>(this)),
      window_(CreateWindowFor(*this, dialogTemplate, owner != nullptr ? owner : MainWindow())) {}

TemplateDialog::~TemplateDialog() {
  // The derived dialog's members are gone by now: work still left may have
  // used them while they went.
  assert(background_.Idle() && "a dialog with background work calls StopBackgroundWork() first in its destructor");
  // From here on no posted call reaches the dialog; workers still waiting
  // are stopped and joined before the window goes.
  life_->dialog.store(nullptr);
  // Dialogs made later must not take a window that is gone as their owner.
  if (MainWindow() == this) SetMainWindow(nullptr);
  background_.Stop();
  window_.reset();
}

void TemplateDialog::BeginBusy() {
  if (busyDepth_++ == 0) SetWindowBusy(true);
}

void TemplateDialog::EndBusy() {
  if (busyDepth_ == 0 || --busyDepth_ > 0) return;
  SetWindowBusy(false);
  // What was held back runs as queued calls, after the handler that ends
  // the busy time has returned; a tick of a timer stopped by then is dropped.
  std::set<UINT> ticks;
  ticks.swap(heldTicks_);
  const bool deviceChange = std::exchange(heldDeviceChange_, false);
  const WindowRef self = Ref();
  if (deviceChange) self.Post([this] { DeliverDeviceChange(); });
  for (const UINT id : ticks) {
    self.Post([this, id] {
      if (TimerActive(id)) DeliverTimer(id);
    });
  }
}

void TemplateDialog::DeliverTimer(UINT id) {
  if (IsBusy()) {
    heldTicks_.insert(id);
    return;
  }
  OnTimer(id);
}

void TemplateDialog::DeliverDeviceChange() {
  if (IsBusy()) {
    heldDeviceChange_ = true;
    return;
  }
  OnDeviceChange();
}

void TemplateDialog::WaitThen(HANDLE handle, DWORD timeoutMs, std::function<void(DWORD)> then) {
  BeginBusy();
  background_.WaitThen(Ref(), handle, timeoutMs, [this, then = std::move(then)](DWORD result) {
    EndBusy();
    then(result);
  });
}

void TemplateDialog::RunThen(std::function<void()> work, std::function<void()> then) {
  BeginBusy();
  background_.RunThen(Ref(), std::move(work), [this, then = std::move(then)] {
    EndBusy();
    then();
  });
}

int TemplateDialog::DoModal() {
  ended_ = false;
  Initialise();
  // A dialog may end itself while it initialises; it is never shown then.
  if (ended_) return result_;
  return RunModal();
}

void TemplateDialog::ShowModeless() {
  ended_ = false;
  Initialise();
  if (!ended_) ShowWindow();
}

void TemplateDialog::Initialise() {
  if (initialised_) return;
  initialised_ = true;
  OnInitDialog();
}

void TemplateDialog::EndDialog(int result) {
  ended_ = true;
  result_ = result;
  CloseWindow(result);
}

}  // namespace ui
