// The program's icon as SetApplicationIcon made it (null before), for the
// dialogs' captions and the taskbar.
//
// Thread contract: GUI thread only.
#pragma once

#include <windows.h>

namespace ui::win32 {
HICON AppIcon();
}  // namespace ui::win32
