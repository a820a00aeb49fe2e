#include "ui/background_work.h"

#include <memory>

namespace ui {

void BackgroundWork::Start(std::function<void(HANDLE stop, std::function<void()> finish)> body,
                           std::function<void()> then) {
  Job& job = jobs_.emplace_back();
  job.id = ++nextId_;
  job.stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // The continuation runs on the GUI thread while the dialog (and so this
  // object, which the dialog owns) exists, and only if no Stop came between.
  std::function<void()> finish = [this, id = job.id, generation = generation_, then = std::move(then)] {
    if (generation != generation_) return;
    then();
    Reap(id);
  };
  job.thread =
      std::thread([body = std::move(body), stop = job.stop, finish = std::move(finish)] { body(stop, finish); });
}

void BackgroundWork::WaitThen(const WindowRef& window, HANDLE handle, DWORD timeoutMs,
                              std::function<void(DWORD)> then) {
  auto result = std::make_shared<DWORD>(WAIT_FAILED);
  Start(
      [window, handle, timeoutMs, result](HANDLE stop, std::function<void()> finish) {
        const HANDLE handles[2] = {handle, stop};
        const DWORD r = WaitForMultipleObjects(2, handles, FALSE, timeoutMs);
        if (r == WAIT_OBJECT_0 + 1) return;  // stopped: nobody continues
        *result = r;                         // read by the continuation, which the post orders after this
        window.Post(std::move(finish));
      },
      [result, then = std::move(then)] { then(*result); });
}

void BackgroundWork::RunThen(const WindowRef& window, std::function<void()> work, std::function<void()> then) {
  Start(
      [window, work = std::move(work)](HANDLE, std::function<void()> finish) {
        work();
        window.Post(std::move(finish));
      },
      std::move(then));
}

void BackgroundWork::Reap(unsigned id) {
  for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
    if (it->id != id) continue;
    it->thread.join();
    CloseHandle(it->stop);
    jobs_.erase(it);
    return;
  }
}

void BackgroundWork::Stop() {
  ++generation_;
  for (Job& job : jobs_) SetEvent(job.stop);
  for (Job& job : jobs_) {
    job.thread.join();
    CloseHandle(job.stop);
  }
  jobs_.clear();
}

}  // namespace ui
