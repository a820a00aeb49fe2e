// The firmware version an image names: the text the tracker reports for
// "kv+fwv" once it runs that image, such as "F-0KV770E-V1.5(20100301)".
// kvctl prints it before anything is sent and, unless told otherwise,
// expects the tracker to report it after the update.
//
// Thread contract: pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A version text starts with "F-0KV", holds printable ASCII only and ends at
// the first ")" within 64 characters.
constexpr std::size_t VERSION_TEXT_LONGEST = 64;

// How many different version texts kvctl looks for in an image.
constexpr std::size_t IMAGE_VERSION_TEXTS_MOST = 16;

// The different version texts `image` holds, in the order found (copies of
// the same text count once), at most `most` of them.
std::vector<std::string> ImageVersionTexts(std::string_view image, std::size_t most = 4);

// The version text `image` names: the one version text it holds. Nothing
// when it holds none or several different ones.
std::optional<std::string> FindImageVersion(std::string_view image);

// Whether the version a tracker reports holds `expected`, as a whole: a
// number at either end of `expected` is not part of a longer number there
// (more digits, or a dot and more digits), so "V1.5" is not found in
// "V1.51(...)" or "V1.5.1(...)", nor "1.5" in "V11.5(...)", nor "V1" or "5"
// in "V1.5(...)".
bool ReportsVersion(std::string_view reported, std::string_view expected);

// The first version text in `answer` (what the tracker sent after
// "kv+fwv\r"), whole; nothing when none has arrived complete yet.
std::optional<std::string> FirstVersionText(std::string_view answer);
