// Text between UTF-8 (the tool's own encoding of paths and messages) and
// UTF-16 (what the wide Windows calls take). Strict both ways: a byte string
// that is not UTF-8 (a stray continuation byte, a sequence cut short, an
// overlong form, a surrogate, a value beyond U+10FFFF) or UTF-16 with a lone
// surrogate is refused, never replaced or passed on altered, so a path is
// either the file the user named or no file at all.
//
// Thread contract: plain functions, any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// False (and `wide` empty) when `utf8` is not UTF-8.
bool Utf8ToUtf16(std::string_view utf8, std::u16string& wide);
// False (and `utf8` empty) when `wide` holds a lone surrogate.
bool Utf16ToUtf8(std::u16string_view wide, std::string& utf8);

#ifdef _WIN32
// The same for the Windows wide type (16 bits there).
bool Utf8ToWide(std::string_view utf8, std::wstring& wide);
bool WideToUtf8(std::wstring_view wide, std::string& utf8);
#endif

}  // namespace platform
