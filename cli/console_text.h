// How kvctl's UTF-8 text reaches a standard stream. On Windows a console
// shows bytes in its own code page (437 or 850 show "…" as three wrong
// letters), so text for a console is written as wide characters
// (WriteConsoleW), which read right in any code page; a stream that is
// redirected (a file, a pipe, NUL) gets the UTF-8 bytes as they are, the
// same as on Linux.
//
// Thread contract: called under console.cpp's lock.
#pragma once

#include <cstdio>
#include <string_view>

namespace console {

// Writes `text` to `stream` and flushes it; false with errno set when the
// text did not all arrive.
bool WriteText(std::FILE* stream, std::string_view text);

#ifdef _WIN32
enum class TextRoute { Console, Bytes };
// Console when `handle` is a console screen buffer (GetConsoleMode works on
// it), else Bytes (files, pipes, the NUL device, no handle).
TextRoute RouteOf(void* handle);
// Writes `text` to the console `handle` as wide characters: UTF-8 text as
// such, any other bytes as code page 1252 (the tracker's, which `get` prints
// unchanged).
bool WriteToConsole(void* handle, std::string_view text);
#endif

}  // namespace console
