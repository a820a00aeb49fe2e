// A dialog built from a template (dialog_template.h), the stand-in for the
// dialog framework's CDialog: the window gets the template's caption, font,
// frame and client size; each control is made at its place, converted from
// dialog units with the font's metrics, and found again by its id. The
// dialog speaks only through the operations below; the toolkit's window
// behind it (DialogWindow: qt/ or win32/) is not part of this interface.
//
// Handlers follow the framework: OnInitDialog before the dialog first shows,
// OnOK for the IDOK button and for Enter when no push button takes it (the
// focused one, or else the template's default one), OnCancel for the
// IDCANCEL button and Escape, OnClose for the close box (default: end the
// dialog with IDCANCEL), OnCommand for a click on any other push button,
// OnKillFocus when an edit or a combo box loses the focus, OnTimer for the
// dialog's clock timers, OnDeviceChange after WatchDeviceChanges.
//
// Busy: between BeginBusy and EndBusy (they nest) the dialog acts on no
// user input: clicks, keys and close requests are dropped, the busy cursor
// shows, and the window keeps painting. Timer ticks and device changes that
// fall in that time are held back and delivered once after it, as queued
// calls, if the timer still runs then. WaitThen and RunThen are the dialog's
// long waits: busy while a worker waits or works, then the continuation on
// the GUI thread (background_work.h).
//
// A dialog constructed without an owner is owned by the application's main
// window (application.h), as a dialog created with no parent window is.
//
// Thread contract: GUI thread only. Workers reach a dialog through Ref()
// (window_ref.h), never through a raw pointer.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "platform/win_types.h"
#include "ui/background_work.h"
#include "ui/dialog_template.h"
#include "ui/dialog_units.h"
#include "ui/window_ref.h"
#include "ui/window_styles.h"

namespace ui {

class DialogWindow;

class TemplateDialog {
 public:
  explicit TemplateDialog(const DialogTemplate& dialogTemplate, TemplateDialog* owner = nullptr);
  virtual ~TemplateDialog();
  TemplateDialog(const TemplateDialog&) = delete;
  TemplateDialog& operator=(const TemplateDialog&) = delete;

  const DialogBaseUnits& BaseUnits() const;
  // A reference that workers may hold (window_ref.h).
  WindowRef Ref() const { return WindowRef(life_); }

  // The caption.
  void SetWindowText(std::string_view text);

  // Texts, enabling, visibility, read-only state and focus of controls by
  // id. Texts are 8-bit: labels, buttons, edits, a combo's edit field (or its
  // selected item), a group box's caption. An unknown id does nothing.
  bool HasItem(int id) const;
  std::string ItemText(int id) const;
  void SetItemText(int id, std::string_view text);
  void EnableItem(int id, bool enable);
  void ShowItem(int id, bool show);
  void SetItemReadOnly(int id, bool readOnly);
  bool ItemHasFocus(int id) const;
  void SetItemFocus(int id);

  // Combo boxes and list boxes: items by position, the selection (-1: none).
  int ItemCount(int id) const;
  std::string ItemString(int id, int index) const;
  int AddString(int id, std::string_view text);  // returns its position
  void InsertString(int id, int index, std::string_view text);
  void DeleteString(int id, int index);
  int CurSel(int id) const;
  void SetCurSel(int id, int index);
  // The position of the item whose text is exactly `text` (case-sensitive), or -1.
  int FindStringExact(int id, std::string_view text) const;

  // Progress bars: a 32-bit range and a position kept inside it; an empty
  // range (low >= high) shows an empty bar. SetProgressPos returns the
  // previous position.
  void SetProgressRange(int id, int low, int high);
  int SetProgressPos(int id, int pos);

  // Geometry in pixels, for dialogs that fit themselves to their texts.
  PixelRect ItemRect(int id) const;
  void SetItemRect(int id, const PixelRect& rect);
  // The width control `id` needs to show `text` whole in its own font,
  // with its frame, margins and (list boxes) a vertical scroll bar.
  int WidthToShow(int id, std::string_view text) const;
  int ClientWidth() const;
  void SetClientWidth(int width);
  // Places the dialog at its owner's left edge, `offsetY` pixels below the
  // top of the owner's frame.
  void PlaceBelowOwnerTop(int offsetY);

  // Runs OnInitDialog, then shows the dialog modally until EndDialog.
  // Returns the code given to EndDialog.
  int DoModal();
  // Runs OnInitDialog and shows the dialog without waiting (tests, previews).
  void ShowModeless();
  void EndDialog(int result);
  // The close box's handling (OnClose), as a close another part of the
  // program asks for (a signal to the program); the dialog may refuse it
  // while busy, and is asked again until it ends.
  void RequestClose() {
    closeRequested_ = true;
    OnClose();
  }
  // Whether such a close was asked for: the dialog ends once it may.
  bool CloseRequested() const { return closeRequested_; }
  bool Ended() const { return ended_; }
  int Result() const { return result_; }

  // A repeating timer with this id that calls OnTimer(id) every `periodMs`
  // clock milliseconds; replaces a timer with the same id. Returns the id.
  UINT SetTimer(UINT id, DWORD periodMs);
  // Stops the timer; false when none with that id runs.
  bool KillTimer(UINT id);
  bool TimerActive(UINT id) const;

  void BeginBusy();
  void EndBusy();
  bool IsBusy() const { return busyDepth_ > 0; }

  // Busy until `handle` is signalled or `timeoutMs` passes, then EndBusy and
  // then(result) on the GUI thread.
  void WaitThen(HANDLE handle, DWORD timeoutMs, std::function<void(DWORD)> then);
  // Busy while `work` runs on a worker (it must end within its own bound,
  // and touch nothing the GUI thread uses meanwhile), then EndBusy and then().
  void RunThen(std::function<void()> work, std::function<void()> then);

  // Reports ports that come and go through OnDeviceChange from now on.
  void WatchDeviceChanges();

  // The toolkit's window (for the toolkit's own code and its tests).
  DialogWindow& Window() const { return *window_; }

 protected:
  virtual bool OnInitDialog() { return true; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  virtual void OnClose() { EndDialog(IDCANCEL); }
  // A push button other than IDOK and IDCANCEL was clicked; false when the
  // dialog does not handle `id`.
  virtual bool OnCommand(int id) { return false; }
  virtual void OnKillFocus(int id) {}
  virtual void OnTimer(UINT id) {}
  virtual void OnDeviceChange() {}

  // Joins the dialog's background work and drops its continuations; a
  // derived dialog calls it first in its destructor, before the members the
  // work touches go away. A debug build stops in this class's destructor
  // when work is left that nobody stopped.
  void StopBackgroundWork() { background_.Stop(); }

 private:
  friend class DialogWindow;
  // The toolkit's window: made for this dialog, and destroyed.
  struct WindowDeleter {
    void operator()(DialogWindow* window) const;
  };
  static DialogWindow* CreateWindowFor(TemplateDialog& dialog, const DialogTemplate& dialogTemplate,
                                       TemplateDialog* owner);
  // Called by the toolkit's window.
  void Initialise();
  void DeliverTimer(UINT id);
  void DeliverDeviceChange();
  // The toolkit's part of the busy state, of showing and of ending.
  void SetWindowBusy(bool busy);
  int RunModal();
  void ShowWindow();
  void CloseWindow(int result);

  std::shared_ptr<WindowRef::Life> life_;
  std::unique_ptr<DialogWindow, WindowDeleter> window_;
  BackgroundWork background_;
  int busyDepth_ = 0;
  std::set<UINT> heldTicks_;
  bool heldDeviceChange_ = false;
  bool ended_ = false;
  bool closeRequested_ = false;  // RequestClose was called
  int result_ = 0;
  bool initialised_ = false;
};

}  // namespace ui
