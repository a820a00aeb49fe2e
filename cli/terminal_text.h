// Text that came from the tracker, made safe to show on a terminal: control
// bytes (C0, DEL, and C1 in their UTF-8 form) and bytes that are not valid
// UTF-8 are shown as \xNN, so a tracker cannot clear the screen, retitle the
// window or move the cursor of the user's terminal. Printable text, UTF-8
// included, is left as it is. Output to a file or pipe, and JSON (which has
// its own escapes), keeps the tracker's bytes.
//
// Thread contract: none (pure functions).
#pragma once

#include <string>
#include <string_view>

// Every control or invalid byte of `text` as \xNN (lower-case hex). With
// `keepLineEnds`, LF and CR LF stay (a block of several lines, such as the
// settings-file text); a lone CR, which would let the rest of a line
// overwrite its start, is still shown.
std::string VisibleText(std::string_view text, bool keepLineEnds = false);

// VisibleText when standard output is a terminal, else `text` unchanged.
std::string TextForStdout(std::string_view text, bool keepLineEnds = false);
