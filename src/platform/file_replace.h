// Replacing a file's contents so that a failure never leaves a cut file.
//
// Thread contract: touches only the file named and a temporary file beside
// it; may be called from any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Replaces the file at `path` with `bytes`.
//
// Where it can, as one step: the bytes go to a new file in the same folder
// (created exclusively, never through a link), are flushed to the disk, get
// the old file's permissions and owner, and the new file is then moved over
// the old one. A failure at any point (disk full, drive gone) returns false,
// leaves the old file as it was and removes the new one.
//
// An existing file is written in place instead (the same file, so its
// permissions, owner and other hard links stay) when no new file can be
// made beside it (a folder the caller may not write), when it has other hard
// links, or when its owner could not be kept. A failure part-way then puts
// the old bytes back as far as the disk lets it, and returns false.
//
// A read-only file, a folder or anything but a regular file at `path`
// counts as a failure, as does a path without a file name or a folder that
// does not exist. A symbolic link is followed and the file it names is
// written, except a link that the system would not follow either: one in a
// sticky, world-writable folder (such as /tmp) that belongs neither to the
// caller (effective user) nor to the folder's owner.
bool ReplaceFileContents(const std::string& path, std::string_view bytes);

// The same, with why it failed as an errno value in `error` (0 on success):
// ENOENT (folder missing), EISDIR, EACCES (read-only file, no permission, a
// link that is not followed), EINVAL (no file name, not a regular file),
// ELOOP (too many links), ENOSPC, EIO and the like from the writes.
bool ReplaceFileContents(const std::string& path, std::string_view bytes, int& error);

// Who may read a file that ReplaceFileContents creates (one that did not
// exist): everyone the user's umask lets, or the owner only, for a file that
// may hold a secret such as the GPRS password. A file being replaced always
// keeps its own permissions. On Windows a new file gets its folder's access
// rules either way.
enum class NewFileAccess { Shared, OwnerOnly };
bool ReplaceFileContents(const std::string& path, std::string_view bytes, int& error, NewFileAccess access);

}  // namespace platform
