#include "ui/message_box.h"

#include <windows.h>

#include "ui/template_dialog.h"
#include "ui/win32/dialog_window.h"

namespace ui::detail {

int ShowMessageBoxNow(TemplateDialog* owner, const MessageBoxRequest& request) {
  HWND ownerWindow = owner != nullptr ? owner->Window().Handle() : nullptr;
  return MessageBoxA(ownerWindow, request.text.c_str(), request.caption.c_str(), request.type);
}

}  // namespace ui::detail
