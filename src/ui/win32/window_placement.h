// Where a window opens: centred on its owner, or on the screen's work area
// for a window without one, and moved back inside the work area so that its
// caption can be reached (a window larger than the work area keeps its
// top-left corner in it).
//
// Thread contract: plain functions, any thread.
#pragma once

#include <windows.h>

namespace ui::win32 {

// The top-left corner for `window` (its current rectangle, only its size
// counts) centred on `over`, kept inside `workArea`.
POINT CentredPosition(const RECT& window, const RECT& over, const RECT& workArea);

// Moves `hwnd` centred on its owner, or on the work area of its monitor.
void CentreOnOwner(HWND hwnd);

}  // namespace ui::win32
