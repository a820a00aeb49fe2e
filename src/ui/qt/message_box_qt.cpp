#include "ui/message_box.h"

#include <mutex>

#include <QMessageBox>

#include "ui/application.h"
#include "ui/qt/dialog_window.h"
#include "ui/qt/text.h"
#include "ui/template_dialog.h"

namespace ui {
namespace {
std::mutex g_hookLock;
MessageBoxHook g_hook;

MessageBoxHook CurrentHook() {
  std::lock_guard<std::mutex> lock(g_hookLock);
  return g_hook;
}

QMessageBox::Icon IconOf(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

QMessageBox::StandardButtons ButtonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return QMessageBox::Ok | QMessageBox::Cancel;
    case MB_YESNOCANCEL: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MB_YESNO: return QMessageBox::Yes | QMessageBox::No;
    case MB_RETRYCANCEL: return QMessageBox::Retry | QMessageBox::Cancel;
    default: return QMessageBox::Ok;
  }
}

int ResultOf(int button) {
  switch (button) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Retry: return IDRETRY;
    default: return IDOK;
  }
}

// On the GUI thread.
int ShowHere(TemplateDialog* ownerDialog, MessageBoxRequest& request) {
  QWidget* owner = ownerDialog != nullptr ? &ownerDialog->Window() : nullptr;
  if (request.caption.empty()) request.caption = ApplicationName();
  if (MessageBoxHook hook = CurrentHook()) return hook(request);
  QMessageBox box(IconOf(request.type), ToQt(request.caption), ToQt(request.text), ButtonsOf(request.type),
                  owner);
  return ResultOf(box.exec());
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
