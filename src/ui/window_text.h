// File paths shown in window texts: a path in the system's own encoding
// becomes the 8-bit text windows take (a character without an 8-bit form
// shows as '?').
//
// Thread contract: plain function, any thread.
#pragma once

#include <string>
#include <string_view>

namespace ui {

std::string PathToWindowText(std::string_view path);

}  // namespace ui
