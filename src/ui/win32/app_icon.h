// The program's icon as SetApplicationIcon made it (null before), for the
// dialogs' captions (small) and the taskbar and Alt-Tab (large).
//
// Thread contract: GUI thread only.
#pragma once

#include <windows.h>

namespace ui::win32 {
HICON AppIcon(bool small = false);
}  // namespace ui::win32
