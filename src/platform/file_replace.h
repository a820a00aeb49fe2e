// Replacing a file's contents so that a failure never leaves a cut file.
//
// Thread contract: touches only the file named and a temporary file beside
// it; may be called from any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Replaces the file at `path` with `bytes` as one step: the bytes go to a new
// file in the same folder, are flushed to the disk and the new file is then
// moved over the old one. A failure at any point (folder missing, disk full,
// drive gone) returns false, leaves the old file as it was and removes the
// new one. A read-only file or a folder at `path` counts as a failure, as
// does a path without a file name. A symbolic link is followed and the file
// it names is replaced.
bool ReplaceFileContents(const std::string& path, std::string_view bytes);

}  // namespace platform
