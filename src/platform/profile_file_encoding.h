// The text encodings of profile files. Windows' profile functions read a
// file that starts with a UTF-16 (either byte order) or UTF-8 byte-order mark
// as Unicode and hand the values to ANSI callers in the ANSI code page (1252 here); a file
// without a byte-order mark is taken byte for byte.
//
// Thread contract: pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The byte put for a character that code page 1252 cannot hold: DEL (0x7F),
// which no settings message may carry, so that the check before a write
// names its setting and place. (Not Ctrl-Z, which the profile reader drops
// as a blank at the ends of a value, nor a byte that ends a line.)
constexpr char ANSI_SUBSTITUTE = '\x7f';

// The code page 1252 byte for a Unicode code point, or ANSI_SUBSTITUTE.
char CodePointToAnsi(char32_t codePoint);

// The Unicode code point a code page 1252 byte stands for. The five bytes the
// code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the
// control characters of the same number, as Windows converts them.
char32_t AnsiToCodePoint(unsigned char byte);

// The profile file's text in code page 1252: the bytes after a UTF-16LE,
// UTF-16BE or UTF-8 byte-order mark converted character by character (one byte per
// character; a malformed sequence or a character outside the code page gives
// ANSI_SUBSTITUTE), anything else unchanged.
std::string ProfileBytesToAnsi(std::string_view bytes);

}  // namespace platform
