// A dialog larger than its monitor's work area (the Device Setting dialog at
// 150 % on a 1080-line screen): the window shrinks into the work area, gets
// scroll bars, and the controls scroll inside it, so that every control,
// the bottom row of buttons too, can be reached by the scroll bars, the
// mouse wheel or the keyboard focus.
#include <algorithm>

#include "ui/win32/dialog_window.h"

namespace ui {
namespace {

// The window size for a client area of `client` with the window's styles
// (the system's own sum leaves the scroll bars out).
SIZE FrameFor(HWND hwnd, SIZE client, DWORD style) {
  const UINT dpi = GetDpiForWindow(hwnd);
  RECT frame{0, 0, client.cx, client.cy};
  AdjustWindowRectExForDpi(&frame, style, FALSE, GetWindowLongA(hwnd, GWL_EXSTYLE), dpi);
  SIZE size{frame.right - frame.left, frame.bottom - frame.top};
  if (style & WS_VSCROLL) size.cx += GetSystemMetricsForDpi(SM_CXVSCROLL, dpi);
  if (style & WS_HSCROLL) size.cy += GetSystemMetricsForDpi(SM_CYHSCROLL, dpi);
  return size;
}

}  // namespace

SIZE DialogWindow::ContentSize() const {
  if (scrolls_) return content_;
  RECT client{};
  GetClientRect(hwnd_, &client);
  return SIZE{client.right, client.bottom};
}

void DialogWindow::SetContentWidth(int width) {
  content_.cx = width;
  UpdateScrollBars();
}

void DialogWindow::FitInto(const RECT& workArea) {
  if (hwnd_ == nullptr) return;
  const SIZE content = ContentSize();
  const LONG areaWidth = workArea.right - workArea.left, areaHeight = workArea.bottom - workArea.top;
  DWORD style = static_cast<DWORD>(GetWindowLongA(hwnd_, GWL_STYLE)) & ~(WS_VSCROLL | WS_HSCROLL);
  SIZE frame = FrameFor(hwnd_, content, style);
  if (frame.cx <= areaWidth && frame.cy <= areaHeight) return;
  // A scroll bar takes room from the other direction, which may then need
  // its own bar as well.
  bool vertical = frame.cy > areaHeight, horizontal = frame.cx > areaWidth;
  for (int round = 0; round < 2; ++round) {
    const SIZE withBars = FrameFor(hwnd_, content, style | (vertical ? WS_VSCROLL : 0) | (horizontal ? WS_HSCROLL : 0));
    vertical = vertical || withBars.cy > areaHeight;
    horizontal = horizontal || withBars.cx > areaWidth;
  }
  style |= (vertical ? WS_VSCROLL : 0) | (horizontal ? WS_HSCROLL : 0);
  frame = FrameFor(hwnd_, content, style);
  content_ = content;
  scrolls_ = true;
  scroll_ = POINT{0, 0};
  SetWindowLongA(hwnd_, GWL_STYLE, static_cast<LONG>(style));
  const LONG width = std::min(frame.cx, areaWidth), height = std::min(frame.cy, areaHeight);
  RECT now{};
  GetWindowRect(hwnd_, &now);
  SetWindowPos(hwnd_, nullptr, std::clamp(now.left, workArea.left, workArea.right - width),
               std::clamp(now.top, workArea.top, workArea.bottom - height), width, height,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  UpdateScrollBars();
}

void DialogWindow::UpdateScrollBars() {
  if (!scrolls_) return;
  RECT client{};
  GetClientRect(hwnd_, &client);
  for (const int bar : {SB_HORZ, SB_VERT}) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = (bar == SB_HORZ ? content_.cx : content_.cy) - 1;
    info.nPage = static_cast<UINT>(bar == SB_HORZ ? client.right : client.bottom);
    info.nPos = bar == SB_HORZ ? scroll_.x : scroll_.y;
    SetScrollInfo(hwnd_, bar, &info, TRUE);
  }
  ScrollTo(scroll_.x, scroll_.y);  // a wider client may leave less to scroll
}

void DialogWindow::ScrollTo(int x, int y) {
  if (!scrolls_) return;
  RECT client{};
  GetClientRect(hwnd_, &client);
  x = std::max(0, std::min<int>(x, content_.cx - client.right));
  y = std::max(0, std::min<int>(y, content_.cy - client.bottom));
  if (x == scroll_.x && y == scroll_.y) return;
  ScrollWindowEx(hwnd_, scroll_.x - x, scroll_.y - y, nullptr, nullptr, nullptr, nullptr,
                 SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
  scroll_ = POINT{x, y};
  SetScrollPos(hwnd_, SB_HORZ, x, TRUE);
  SetScrollPos(hwnd_, SB_VERT, y, TRUE);
}

void DialogWindow::OnScroll(int bar, WORD request) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  if (!GetScrollInfo(hwnd_, bar, &info)) return;
  const int line = bar == SB_VERT ? units_.cy : units_.cx * 2;
  int pos = info.nPos;
  switch (request) {
    case SB_LINEUP: pos -= line; break;
    case SB_LINEDOWN: pos += line; break;
    case SB_PAGEUP: pos -= static_cast<int>(info.nPage); break;
    case SB_PAGEDOWN: pos += static_cast<int>(info.nPage); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: pos = info.nTrackPos; break;
    case SB_TOP: pos = 0; break;
    case SB_BOTTOM: pos = info.nMax; break;
    default: return;
  }
  if (bar == SB_VERT) ScrollTo(scroll_.x, pos);
  else ScrollTo(pos, scroll_.y);
}

void DialogWindow::ScrollIntoView(HWND control) {
  if (!scrolls_ || control == nullptr || !IsChild(hwnd_, control)) return;
  // A combo box's edit is the focus; the combo box is what shows.
  for (HWND parent = GetParent(control); parent != nullptr && parent != hwnd_; parent = GetParent(parent))
    control = parent;
  RECT r{}, client{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
  GetClientRect(hwnd_, &client);
  int x = scroll_.x, y = scroll_.y;
  // The far edge first, then the near one: a control larger than the view
  // shows its start.
  if (r.right > client.right) x += r.right - client.right;
  if (r.left - (x - scroll_.x) < 0) x = scroll_.x + r.left;
  if (r.bottom > client.bottom) y += r.bottom - client.bottom;
  if (r.top - (y - scroll_.y) < 0) y = scroll_.y + r.top;
  ScrollTo(x, y);
}

void DialogWindow::FollowFocus() {
  if (!scrolls_) return;
  HWND focus = GetFocus();
  if (focus == focusSeen_) return;
  focusSeen_ = focus;
  ScrollIntoView(focus);
}

}  // namespace ui
