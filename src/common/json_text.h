// The one writer of JSON strings, for kvctl's get --json and audit log.
//
// Text comes in one of two encodings: the tracker's own texts (settings,
// firmware version) are code page 1252 bytes, kvctl's texts and file paths
// are UTF-8. Either way the string written is UTF-8: each character as
// itself, quotes and backslashes escaped, control characters (below U+0020,
// U+007F to U+009F) as \u00XX, so that every value stays valid JSON.
#pragma once

#include <string>
#include <string_view>

// The UTF-8 text as a JSON string literal, quotes included. A byte that does
// not belong to a valid UTF-8 sequence is written as \u00XX, so every line
// parses.
std::string JsonString(std::string_view text);

// The code page 1252 text (as the tracker holds it) as a JSON string literal:
// "Caf\xE9 \x80" becomes "Café €".
std::string JsonStringFromAnsi(std::string_view text);
