#include "ui/message_box.h"

#include <windows.h>

#include "platform/wide_text.h"
#include "ui/template_dialog.h"
#include "ui/win32/dialog_window.h"

namespace ui::detail {

// Texts in UTF-8 (paths the file dialogs gave) are shown in UTF-16, so a
// name in any script reads as typed; any other text as the narrow call takes it.
int ShowMessageBoxNow(TemplateDialog* owner, const MessageBoxRequest& request) {
  HWND ownerWindow = owner != nullptr ? owner->Window().Handle() : nullptr;
  std::wstring text, caption;
  if (platform::Utf8ToWide(request.text, text) && platform::Utf8ToWide(request.caption, caption))
    return MessageBoxW(ownerWindow, text.c_str(), caption.c_str(), request.type);
  return MessageBoxA(ownerWindow, request.text.c_str(), request.caption.c_str(), request.type);
}

}  // namespace ui::detail
