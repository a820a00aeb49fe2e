// Minimal JSON text helpers for kvctl's --json output.
#pragma once

#include <string>
#include <string_view>

// The text as a JSON string literal, quotes included; control bytes and
// bytes above 0x7F are written as \u00XX so any value stays valid JSON.
std::string JsonString(std::string_view text);
