// The Win32 dialogs as kvtool.exe makes them: the texts the tool shows whole
// fit inside their fields at the program's scaling.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
