// Decoding UTF-8 one character at a time, for the settings-file reader and
// kvctl's tables, which differ only in how far a malformed sequence moves on.
//
// Thread contract: pure functions.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// What NextUtf8 returns for a malformed sequence.
constexpr char32_t kMalformedUtf8 = 0xFFFFFFFF;

// How far a malformed sequence moves `at`: past its lead byte only (each
// following byte is looked at again), or past every byte it was read to.
enum class PassMalformed { LeadByte, BytesRead };

// Decodes the UTF-8 sequence at `at` (at < s.size()) and moves past it;
// overlong forms, surrogates and values above U+10FFFF are malformed.
char32_t NextUtf8(std::string_view s, std::size_t& at, PassMalformed pass);

}  // namespace platform
