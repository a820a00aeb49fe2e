#include "platform/comm_retry.h"

namespace platform {
namespace {
// Win32 error codes by value: the POSIX stand-ins define only the common ones.
constexpr DWORD kFileNotFound = 2;      // the device's name no longer exists
constexpr DWORD kAccessDenied = 5;      // a removed USB bridge's handle
constexpr DWORD kInvalidHandle = 6;     // the handle was closed or never valid
constexpr DWORD kBadCommand = 22;       // a removed USB device refuses the request
constexpr DWORD kGenFailure = 31;       // the device stopped working (unplugged bridge)
constexpr DWORD kDevNotExist = 55;      // the device is no longer there
constexpr DWORD kNotConnected = 1167;   // ERROR_DEVICE_NOT_CONNECTED
constexpr DWORD kDeviceRemoved = 1617;  // ERROR_DEVICE_REMOVED
}  // namespace

bool CommErrorMeansDeviceGone(DWORD error) {
  switch (error) {
    case kFileNotFound:
    case kAccessDenied:
    case kInvalidHandle:
    case kBadCommand:
    case kGenFailure:
    case kDevNotExist:
    case kNotConnected:
    case kDeviceRemoved: return true;
    default: return false;
  }
}

BOOL CallRetryingAfterLineError(const std::function<BOOL()>& call, const std::function<BOOL()>& clearLineError) {
  if (call()) return TRUE;
  const DWORD error = GetLastError();
  if (CommErrorMeansDeviceGone(error)) return FALSE;
  if (!clearLineError()) {
    SetLastError(error);
    return FALSE;
  }
  return call();
}

}  // namespace platform
