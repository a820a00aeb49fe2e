#include "ui/win32/window_placement.h"

#include <algorithm>

namespace ui::win32 {

POINT CentredPosition(const RECT& window, const RECT& over, const RECT& workArea) {
  const LONG width = window.right - window.left;
  const LONG height = window.bottom - window.top;
  LONG left = over.left + ((over.right - over.left) - width) / 2;
  LONG top = over.top + ((over.bottom - over.top) - height) / 2;
  left = std::max(workArea.left, std::min(left, workArea.right - width));
  top = std::max(workArea.top, std::min(top, workArea.bottom - height));
  return POINT{left, top};
}

void CentreOnOwner(HWND hwnd) {
  RECT window{};
  if (!GetWindowRect(hwnd, &window)) return;
  HWND owner = GetWindow(hwnd, GW_OWNER);
  RECT ownerRect{};
  const bool onOwner =
      owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner) && GetWindowRect(owner, &ownerRect);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoW(MonitorFromWindow(onOwner ? owner : hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
  const POINT at = CentredPosition(window, onOwner ? ownerRect : monitor.rcWork, monitor.rcWork);
  SetWindowPos(hwnd, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace ui::win32
