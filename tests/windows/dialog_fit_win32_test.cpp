// The Win32 dialogs as kvtool.exe makes them: the texts the tool shows whole
// fit inside their fields at the program's scaling.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "res/resource_ids.h"
#include "app/device_setting_dlg.h"
#include "ui/application.h"
#include "ui/win32/dialog_window.h"

namespace {

constexpr char kImei[] = "356938035643809";
constexpr char kVersion[] = "F-0KV770E-V1.4(200909";  // the longest version a tracker reports

// The width of `text` in the control's own font.
int TextWidth(HWND control, const std::string& text) {
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return size.cx;
}

TEST(Win32Dialogs, DeviceSettingShowsTheLongestVersionAndTheImeiWhole) {
  int argc = 1;
  char name[] = "dialog_tests";
  char* argv[] = {name, nullptr};
  ui::Application app(argc, argv);
  CDeviceSettingDlg dialog(INVALID_HANDLE_VALUE);
  HWND version = dialog.Window().Control(IDC_EDT_FIRMWARE_VERSION);
  HWND imei = dialog.Window().Control(IDC_STC_SETTING_IMEI);
  ASSERT_NE(version, nullptr);
  ASSERT_NE(imei, nullptr);
  // An edit draws its text inside its formatting rectangle.
  RECT room{};
  SendMessageA(version, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
  EXPECT_LE(TextWidth(version, kVersion), room.right - room.left) << "the firmware version is cut";
  RECT client{};
  GetClientRect(imei, &client);
  EXPECT_LE(TextWidth(imei, kImei), client.right - client.left) << "the IMEI is cut";
}

std::vector<HWND> VisibleControls(HWND dialog) {
  std::vector<HWND> controls;
  EnumChildWindows(
      dialog,
      [](HWND child, LPARAM list) {
        if (IsWindowVisible(child) && GetParent(child) == GetAncestor(child, GA_PARENT))
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&controls));
  return controls;
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// The Device Setting dialog as it opens on this display's monitor: inside
// the work area Windows leaves above its taskbar (Wine draws none: 40 pixels
// at 100 %, scaled, are taken off the bottom). Where that is too small
// (KV_EXPECT_SCROLL=1: 150 % on a 1920x1080 screen) its controls scroll, and
// the scroll bar and the keyboard focus bring every control into view, the
// bottom row of buttons too.
TEST(Win32Dialogs, DeviceSettingOpensInsideTheWorkAreaWithEveryControlReachable) {
  int argc = 1;
  char name[] = "dialog_tests";
  char* argv[] = {name, nullptr};
  ui::Application app(argc, argv);
  CDeviceSettingDlg dialog(INVALID_HANDLE_VALUE);
  HWND hwnd = dialog.Window().Handle();
  RECT laidOut{};
  GetClientRect(hwnd, &laidOut);
  dialog.Window().ShowModeless();
  Pump();
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &monitor));
  RECT work = monitor.rcWork;
  if (work.bottom == monitor.rcMonitor.bottom) work.bottom -= MulDiv(40, static_cast<int>(GetDpiForWindow(hwnd)), 96);
  dialog.Window().FitInto(work);
  Pump();
  RECT window{}, client{};
  GetWindowRect(hwnd, &window);
  GetClientRect(hwnd, &client);
  std::cout << "work area " << work.right - work.left << "x" << work.bottom - work.top << ", dpi "
            << GetDpiForWindow(hwnd) << ": laid-out client " << laidOut.right << "x" << laidOut.bottom << ", window "
            << window.right - window.left << "x" << window.bottom - window.top << " at " << window.left << ","
            << window.top << ", client " << client.right << "x" << client.bottom << "\n";
  EXPECT_TRUE(Inside(window, work)) << "the dialog reaches out of the work area";
  if (window.right - window.left < work.right - work.left) {
    EXPECT_GE(client.right, laidOut.right) << "room to spare, yet the controls are cut at the side";
  }
  const bool scrolls = (GetWindowLongA(hwnd, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL)) != 0;
  if (const char* expect = std::getenv("KV_EXPECT_SCROLL")) {
    EXPECT_EQ(scrolls, std::string(expect) == "1")
        << "this screen was chosen so that the dialog " << (std::string(expect) == "1" ? "does not fit" : "fits");
  }

  // Every control, by the keyboard focus, and the lowest one by the scroll bar.
  HWND lowest = nullptr;
  RECT lowestRect{};
  for (HWND control : VisibleControls(hwnd)) {
    RECT r{};
    GetWindowRect(control, &r);
    if (lowest == nullptr || r.bottom > lowestRect.bottom) {
      lowest = control;
      lowestRect = r;
    }
  }
  ASSERT_NE(lowest, nullptr);
  const int lowestId = GetDlgCtrlID(lowest);
  const ui::PixelRect laidOutRect = dialog.ItemRect(lowestId);
  SendMessageA(hwnd, WM_VSCROLL, SB_BOTTOM, 0);
  Pump();
  // The dialog's own code sees its layout, wherever it is scrolled to.
  const ui::PixelRect scrolledRect = dialog.ItemRect(lowestId);
  EXPECT_EQ(scrolledRect.left, laidOutRect.left);
  EXPECT_EQ(scrolledRect.top, laidOutRect.top);
  RECT shownBefore{}, shownAfter{};
  GetWindowRect(lowest, &shownBefore);
  dialog.SetItemRect(lowestId, scrolledRect);
  GetWindowRect(lowest, &shownAfter);
  EXPECT_EQ(shownAfter.top, shownBefore.top) << "putting a control where the dialog says it is moves it";
  RECT view{};
  GetClientRect(hwnd, &view);
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&view), 2);
  RECT r{};
  GetWindowRect(lowest, &r);
  EXPECT_TRUE(Inside(r, view)) << "the bottom row cannot be scrolled into view";
  EXPECT_TRUE(Inside(r, work));

  SendMessageA(hwnd, WM_VSCROLL, SB_TOP, 0);
  for (HWND control : VisibleControls(hwnd)) {
    if (!IsWindowEnabled(control) || !(GetWindowLongA(control, GWL_STYLE) & WS_TABSTOP)) continue;
    SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    Pump();
    GetWindowRect(control, &r);
    char text[64] = {};
    GetWindowTextA(control, text, sizeof text);
    EXPECT_TRUE(Inside(r, view)) << "control " << GetDlgCtrlID(control) << " \"" << text
                                 << "\" stays out of view when it has the focus";
  }
}

}  // namespace
