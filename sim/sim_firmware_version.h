// The version text a firmware image names: the text the tracker reports for
// "kv+fwv" once it runs that image ("F-0KV770E-V1.5(20100301)"). The
// simulator finds it with its own code, so a fault in the tool's finder
// cannot hide behind the same fault here.
//
// Thread contract: pure functions, any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sim {

// A version text starts with "F-0KV", holds printable ASCII only and ends at
// the first ")" within 64 characters. The image names a version when it holds
// exactly one such text (repeated copies of it count once); nothing otherwise.
std::optional<std::string> FindVersionInImage(const std::vector<unsigned char>& image);

}  // namespace sim
