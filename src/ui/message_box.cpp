#include "ui/message_box.h"

#include <atomic>
#include <mutex>

#include "ui/application.h"

namespace ui {
namespace {
std::mutex g_hookLock;
MessageBoxHook g_hook;
std::atomic<int> g_questionsOpen{0};

MessageBoxHook CurrentHook() {
  std::lock_guard<std::mutex> lock(g_hookLock);
  return g_hook;
}

// On the GUI thread.
int ShowHere(TemplateDialog* owner, MessageBoxRequest& request) {
  if (request.caption.empty()) request.caption = ApplicationName();
  const detail::ModalQuestionScope open;
  if (MessageBoxHook hook = CurrentHook()) return hook(request);
  return detail::ShowMessageBoxNow(owner, request);
}
}  // namespace

int ShowMessageBox(const WindowRef& owner, std::string_view text, std::string_view caption, UINT type) {
  MessageBoxRequest request{std::string(text), std::string(caption), type};
  int result = 0;
  owner.Send([&] { result = ShowHere(owner.Get(), request); });
  return result;
}

int ShowMessageBox(std::string_view text, std::string_view caption, UINT type) {
  MessageBoxRequest request{std::string(text), std::string(caption), type};
  int result = 0;
  SendToGui([&] { result = ShowHere(MainWindow(), request); });
  return result;
}

bool ModalQuestionOpen() { return g_questionsOpen.load() > 0; }

detail::ModalQuestionScope::ModalQuestionScope() { ++g_questionsOpen; }
detail::ModalQuestionScope::~ModalQuestionScope() { --g_questionsOpen; }

void SetMessageBoxHook(MessageBoxHook hook) {
  std::lock_guard<std::mutex> lock(g_hookLock);
  g_hook = std::move(hook);
}

}  // namespace ui
