#define KV_WIN32_REAL_CALLS  // this file calls the real functions
#include "platform/device_change_win32.h"

#include <dbt.h>

#include "platform/clock.h"
#include "platform/win32_handles.h"

namespace platform {
namespace {

// The COM-port device interface class (GUID_DEVINTERFACE_COMPORT).
constexpr GUID COM_PORT_INTERFACE = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

constexpr const char* WINDOW_CLASS = "KV770DeviceChangeMonitor";

LRESULT CALLBACK MonitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DEVICECHANGE &&
      (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE || wParam == DBT_DEVNODES_CHANGED)) {
    if (auto* monitor = reinterpret_cast<DeviceChangeMonitor*>(::GetWindowLongPtrA(window, GWLP_USERDATA)))
      monitor->NoteChange();
    return TRUE;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

DeviceChangeMonitor::DeviceChangeMonitor() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = MonitorWindowProc;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = WINDOW_CLASS;
  ::RegisterClassA(&windowClass);  // fails harmlessly when already registered
  window_ =
      ::CreateWindowExA(0, WINDOW_CLASS, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
  if (!window_) return;
  ::SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  // Arrivals and removals of COM ports; DBT_DEVNODES_CHANGED comes without it.
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = COM_PORT_INTERFACE;
  notification_ = ::RegisterDeviceNotificationA(window_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

DeviceChangeMonitor::~DeviceChangeMonitor() {
  if (notification_) ::UnregisterDeviceNotification(notification_);
  if (window_) ::DestroyWindow(window_);
}

bool DeviceChangeMonitor::Drain() {
  MSG message;
  while (window_ && ::PeekMessageA(&message, window_, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  const bool changed = changed_;
  changed_ = false;
  return changed;
}

bool DeviceChangeMonitor::WaitForChange(std::uint32_t timeoutMs) {
  if (!window_) {
    platform::SleepMs(timeoutMs);
    return false;
  }
  const std::uint64_t end = platform::ClockMs() + timeoutMs;
  for (;;) {
    if (Drain()) return true;
    const std::uint64_t now = platform::ClockMs();
    if (now >= end) return false;
    const DWORD left = win32::detail::RealMs(static_cast<DWORD>(end - now));
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT);
  }
}

}  // namespace platform
