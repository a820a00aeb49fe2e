#include "ui/message_box.h"

#include <mutex>

#include "ui/application.h"

namespace ui {
namespace {
std::mutex g_hookLock;
MessageBoxHook g_hook;

MessageBoxHook CurrentHook() {
  std::lock_guard<std::mutex> lock(g_hookLock);
  return g_hook;
}

// On the GUI thread.
int ShowHere(TemplateDialog* owner, MessageBoxRequest& request) {
  if (request.caption.empty()) request.caption = ApplicationName();
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

void SetMessageBoxHook(MessageBoxHook hook) {
  std::lock_guard<std::mutex> lock(g_hookLock);
  g_hook = std::move(hook);
}

}  // namespace ui
