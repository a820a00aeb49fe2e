// The Win32 window behind a TemplateDialog: a dialog made by the system's
// dialog manager from an in-memory DLGTEMPLATE built from the template (same
// caption, font, dialog units, control ids, classes and styles), its dialog
// procedure routing commands, keys, the close box, timers and device changes
// to the dialog's handlers, where it opens, and the busy state (the window disabled for
// input, the wait cursor shown). A dialog larger than its monitor's work area
// opens fitted into it, its controls scrolling behind scroll bars.
//
// Thread contract: GUI thread only.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "ui/template_dialog.h"

namespace ui {

class DialogWindow {
 public:
  DialogWindow(TemplateDialog& dialog, const DialogTemplate& dialogTemplate, HWND owner);
  ~DialogWindow();
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  TemplateDialog& Dialog() const { return dialog_; }
  HWND Handle() const { return hwnd_; }
  HWND Control(int id) const { return hwnd_ != nullptr ? GetDlgItem(hwnd_, id) : nullptr; }
  const DialogBaseUnits& BaseUnits() const { return units_; }

  int RunModal();
  void ShowModeless();
  void End(int result);

  // The window opens centred on its owner (on the screen without one)
  // unless the dialog placed it itself before it showed.
  void MarkPlaced() { placed_ = true; }

  // Fits the window into `workArea` (screen pixels): a dialog larger than it
  // gets scroll bars, the window shrinks to the area and the controls scroll;
  // a dialog that fits is left as it is. Done when the window first shows,
  // with its monitor's work area.
  void FitInto(const RECT& workArea);
  bool Scrolls() const { return scrolls_; }
  // How far the controls are scrolled (client pixels), and the size of the
  // client area as the template lays it out (larger than the window's when
  // it scrolls).
  POINT ScrollOffset() const { return scroll_; }
  SIZE ContentSize() const;
  void SetContentWidth(int width);
  // Scrolls so that `control` (a control of the dialog) is whole in view, as
  // far as it fits; done for the control that takes the keyboard focus.
  void ScrollIntoView(HWND control);

  void SetBusy(bool busy);
  bool Busy() const { return busy_; }
  void WatchDeviceChanges() { watchingDevices_ = true; }

  // Timers on the window (WM_TIMER), periods in real milliseconds.
  void StartTimer(UINT id, UINT realMs);
  bool StopTimer(UINT id);
  bool TimerRuns(UINT id) const { return timers_.count(id) != 0; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  // Creates the window (modeless, hidden) from the template; the dialog's
  // controls exist from here on, as the toolkit-free code expects.
  void Create(HWND owner);
  void PlaceOnFirstShow();
  void ScrollTo(int x, int y);
  void OnScroll(int bar, WORD request);
  void UpdateScrollBars();
  void FollowFocus();

  TemplateDialog& dialog_;
  std::vector<WORD> template_;  // the DLGTEMPLATE, kept for a modal run
  HWND hwnd_ = nullptr;
  DialogBaseUnits units_;
  bool modal_ = false;
  bool running_ = false;
  int result_ = 0;
  bool busy_ = false;
  bool watchingDevices_ = false;
  bool placed_ = false;
  std::set<UINT> timers_;
  bool scrolls_ = false;
  SIZE content_{};  // the laid-out client size, once the dialog scrolls
  POINT scroll_{};
  HWND focusSeen_ = nullptr;
};

}  // namespace ui
