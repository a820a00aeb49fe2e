// The device-change monitor of this system (see the header it includes).
//
// Thread contract: as the included header says: one thread owns a monitor and makes
// every call on it.
#pragma once

#ifdef _WIN32
#include "platform/device_change_win32.h"
#else
#include "platform/device_change_posix.h"
#endif
