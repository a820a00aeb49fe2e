#include "ui/win32/dialog_window.h"

#include <commctrl.h>
#include <dbt.h>

#include <cstring>

#include "ui/win32/app_icon.h"
#include "ui/win32/window_placement.h"

namespace ui {
namespace {

// Appends `text` (8-bit, the program's code page) as a NUL-terminated UTF-16 string.
void AppendString(std::vector<WORD>& out, const std::string& text) {
  if (!text.empty()) {
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    for (wchar_t c : wide) out.push_back(static_cast<WORD>(c));
  }
  out.push_back(0);
}

void AppendDword(std::vector<WORD>& out, DWORD value) {
  out.push_back(LOWORD(value));
  out.push_back(HIWORD(value));
}

void AlignToDword(std::vector<WORD>& out) {
  if (out.size() % 2 != 0) out.push_back(0);
}

// The predefined class atoms of a dialog item, or 0 for a class by name.
WORD ClassAtom(ControlClass cls) {
  switch (cls) {
    case ControlClass::Button:
    case ControlClass::GroupBox: return 0x0080;
    case ControlClass::Edit: return 0x0081;
    case ControlClass::Static: return 0x0082;
    case ControlClass::ListBox: return 0x0083;
    case ControlClass::ComboBox: return 0x0085;
    case ControlClass::Progress: return 0;
  }
  return 0x0082;
}

// A DLGTEMPLATE with its items, as a resource compiler lays it out.
std::vector<WORD> BuildTemplate(const DialogTemplate& t) {
  std::vector<WORD> out;
  // The window is created hidden; the dialog shows it when it runs.
  AppendDword(out, (t.style | DS_SETFONT) & ~WS_VISIBLE);
  AppendDword(out, 0);
  out.push_back(static_cast<WORD>(t.controls.size()));
  for (int v : {0, 0, t.cx, t.cy}) out.push_back(static_cast<WORD>(static_cast<short>(v)));
  out.push_back(0);  // no menu
  out.push_back(0);  // the dialog class
  AppendString(out, t.caption);
  out.push_back(static_cast<WORD>(t.fontPointSize));
  AppendString(out, t.fontName);
  for (const ControlTemplate& c : t.controls) {
    AlignToDword(out);
    DWORD style = c.style | WS_CHILD | (c.hidden ? 0 : WS_VISIBLE);
    if (c.cls == ControlClass::GroupBox) style = (style & ~BS_TYPEMASK) | BS_GROUPBOX;
    AppendDword(out, style);
    AppendDword(out, 0);
    for (int v : {c.x, c.y, c.cx, c.cy}) out.push_back(static_cast<WORD>(static_cast<short>(v)));
    out.push_back(static_cast<WORD>(c.id));
    if (const WORD atom = ClassAtom(c.cls)) {
      out.push_back(0xFFFF);
      out.push_back(atom);
    } else {
      AppendString(out, PROGRESS_CLASSA);
    }
    AppendString(out, c.text);
    out.push_back(0);  // no creation data
  }
  return out;
}

// Posted to look where the keyboard focus went.
constexpr UINT kFollowFocus = WM_APP + 0x40;

bool IsUserInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST && message != WM_MOUSEMOVE) ||
         message == WM_NCLBUTTONDOWN || message == WM_NCLBUTTONDBLCLK || message == WM_NCRBUTTONDOWN ||
         message == WM_NCMBUTTONDOWN;
}

}  // namespace

DialogWindow::DialogWindow(TemplateDialog& dialog, const DialogTemplate& dialogTemplate, HWND owner)
    : dialog_(dialog), template_(BuildTemplate(dialogTemplate)) {
  Create(owner);
  if (HICON icon = win32::AppIcon(); icon != nullptr && hwnd_ != nullptr) {
    SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(win32::AppIcon(true)));
  }
  for (const ControlTemplate& c : dialogTemplate.controls) {
    if (c.items.empty()) continue;
    for (const std::string& item : c.items) {
      const UINT add = c.cls == ControlClass::ListBox ? LB_ADDSTRING : CB_ADDSTRING;
      SendDlgItemMessageA(hwnd_, c.id, add, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
  }
}

DialogWindow::~DialogWindow() {
  if (hwnd_ != nullptr) {
    SetWindowLongPtrA(hwnd_, DWLP_USER, 0);
    DestroyWindow(hwnd_);
  }
}

void DialogWindow::Create(HWND owner) {
  hwnd_ = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(template_.data()),
                                     owner, DialogProc, reinterpret_cast<LPARAM>(this));
  if (hwnd_ == nullptr) return;
  RECT box{0, 0, 4, 8};
  MapDialogRect(hwnd_, &box);
  units_.cx = box.right;
  units_.cy = box.bottom;
}

INT_PTR CALLBACK DialogWindow::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    return FALSE;  // the dialog sets the focus itself when it shows
  }
  auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR DialogWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_VSCROLL:
    case WM_HSCROLL:
      if (!scrolls_ || lParam != 0) return FALSE;  // a scroll bar control's own
      OnScroll(message == WM_VSCROLL ? SB_VERT : SB_HORZ, LOWORD(wParam));
      return TRUE;
    case WM_MOUSEWHEEL:
      if (!scrolls_) return FALSE;
      ScrollTo(scroll_.x, scroll_.y - GET_WHEEL_DELTA_WPARAM(wParam) * 3 * units_.cy / WHEEL_DELTA);
      return TRUE;
    case WM_SIZE: UpdateScrollBars(); return FALSE;
    case WM_NEXTDLGCTL:  // Tab, or the dialog moving the focus: look once it moved
      if (scrolls_) PostMessageA(hwnd_, kFollowFocus, 0, 0);
      return FALSE;
    case kFollowFocus: FollowFocus(); return TRUE;
    case WM_COMMAND: {
      FollowFocus();  // an edit, combo or list box taking the focus says so here
      const int id = LOWORD(wParam);
      const UINT code = HIWORD(wParam);
      if (busy_) return TRUE;
      if (code == EN_KILLFOCUS || code == CBN_KILLFOCUS) {
        dialog_.OnKillFocus(id);
      } else if (code == BN_CLICKED || lParam == 0) {
        if (id == IDOK) {
          dialog_.OnOK();
        } else if (id == IDCANCEL) {
          dialog_.OnCancel();
        } else {
          dialog_.OnCommand(id);
        }
      }
      return TRUE;
    }
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE && busy_) return TRUE;
      return FALSE;
    case WM_CLOSE:
      if (!busy_) dialog_.OnClose();
      return TRUE;
    case WM_TIMER:
      if (timers_.count(static_cast<UINT>(wParam)) != 0) dialog_.DeliverTimer(static_cast<UINT>(wParam));
      return TRUE;
    case WM_DEVICECHANGE:
      if (watchingDevices_ &&
          (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE || wParam == DBT_DEVNODES_CHANGED))
        dialog_.DeliverDeviceChange();
      return TRUE;
    case WM_SETCURSOR:
      if (!busy_) return FALSE;
      SetCursor(LoadCursor(nullptr, IDC_WAIT));
      SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    default: return FALSE;
  }
}

int DialogWindow::RunModal() {
  if (hwnd_ == nullptr) return -1;
  modal_ = true;
  running_ = true;
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  if (owner != nullptr) EnableWindow(owner, FALSE);
  PlaceOnFirstShow();
  ::ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  MSG msg;
  while (running_) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
      break;
    }
    // A busy dialog acts on no input: keys and clicks meant for it are dropped.
    if (busy_ && IsUserInput(msg.message) && (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd))) continue;
    if (!IsDialogMessageA(hwnd_, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    FollowFocus();  // Tab to a control out of view scrolls it in
  }
  if (owner != nullptr) {
    EnableWindow(owner, TRUE);
    SetActiveWindow(owner);
  }
  ::ShowWindow(hwnd_, SW_HIDE);
  modal_ = false;
  return result_;
}

void DialogWindow::ShowModeless() {
  if (hwnd_ == nullptr) return;
  PlaceOnFirstShow();
  ::ShowWindow(hwnd_, SW_SHOW);
}

void DialogWindow::PlaceOnFirstShow() {
  if (placed_) return;
  placed_ = true;
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (GetMonitorInfoW(MonitorFromWindow(owner != nullptr ? owner : hwnd_, MONITOR_DEFAULTTONEAREST), &monitor))
    FitInto(monitor.rcWork);
  win32::CentreOnOwner(hwnd_);
}

void DialogWindow::End(int result) {
  result_ = result;
  if (modal_) {
    running_ = false;
    PostMessageA(hwnd_, WM_NULL, 0, 0);  // wakes the modal loop
  } else if (hwnd_ != nullptr) {
    ::ShowWindow(hwnd_, SW_HIDE);
  }
}

void DialogWindow::SetBusy(bool busy) {
  busy_ = busy;
  POINT at;
  if (GetCursorPos(&at)) SetCursorPos(at.x, at.y);  // the cursor takes its new shape at once
}

void DialogWindow::StartTimer(UINT id, UINT realMs) {
  if (::SetTimer(hwnd_, id, realMs == 0 ? 1 : realMs, nullptr) != 0) timers_.insert(id);
}

bool DialogWindow::StopTimer(UINT id) {
  if (timers_.erase(id) == 0) return false;
  ::KillTimer(hwnd_, id);
  return true;
}

}  // namespace ui
