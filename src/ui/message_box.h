// Message boxes, the stand-in for MessageBox: modal, owned by a window,
// captioned with the program's name unless a caption is given.
//
// Tests replace the boxes with a hook that sees every request (text, caption
// as shown, type) and answers it at once, so flows that show boxes run without
// anyone to click them.
//
// Thread contract: ShowMessageBox may be called from any thread; off the GUI
// thread it is carried out there (window_ref.h Send) and the caller waits for
// the answer. The hook runs on the GUI thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "ui/window_ref.h"
#include "ui/window_styles.h"

namespace ui {

struct MessageBoxRequest {
  std::string text;
  std::string caption;  // as shown: the program's name when none was given
  UINT type = MB_OK;    // MB_OK... buttons | MB_ICON... icon
};

// Shows a box owned by `owner`. Returns IDOK, IDCANCEL, IDYES, IDNO or
// IDRETRY; 0 when the owner window is gone (nothing is shown then).
// An empty caption shows the program's name.
int ShowMessageBox(const WindowRef& owner, std::string_view text, std::string_view caption = {}, UINT type = MB_OK);
// The same, owned by the application's main window (none when there is none).
int ShowMessageBox(std::string_view text, std::string_view caption = {}, UINT type = MB_OK);

using MessageBoxHook = std::function<int(const MessageBoxRequest&)>;
// Installs the hook (an empty function restores real boxes).
void SetMessageBoxHook(MessageBoxHook hook);

// True while a message box or a file dialog waits for an answer (GUI
// thread), also one a test hook answers.
bool ModalQuestionOpen();

namespace detail {
// Counts a box or file dialog as shown for as long as it lives.
class ModalQuestionScope {
 public:
  ModalQuestionScope();
  ~ModalQuestionScope();
  ModalQuestionScope(const ModalQuestionScope&) = delete;
  ModalQuestionScope& operator=(const ModalQuestionScope&) = delete;
};

// The toolkit's box, on the GUI thread, for an owner that may be null; the
// request's caption is already filled in.
int ShowMessageBoxNow(TemplateDialog* owner, const MessageBoxRequest& request);
}  // namespace detail

}  // namespace ui
