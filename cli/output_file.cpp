#include "output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "input_file.h"
#include "platform/file_replace.h"
#include "platform/path_calls.h"

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The kernel's rule for symbolic links in sticky, world-writable folders: a
// link is followed only when its owner is the follower or the folder's owner.
bool PlantedLink(const struct stat& link, const struct stat& folder) {
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  return shared && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid;
}

}  // namespace

bool CheckOutputPath(const std::string& path, std::string& reason) {
  const std::string folder = FolderOf(path);
  const std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  if (name.empty() || name == "." || name == "..") {
    reason = "is a directory";
    return false;
  }
  struct stat dir {};
  if (path_calls::Stat(folder.c_str(), &dir) != 0) {
    reason = "folder " + folder + ": " + FileErrorText(errno);
    return false;
  }
  if (!S_ISDIR(dir.st_mode)) {
    reason = folder + " is not a folder";
    return false;
  }
  if (path_calls::Access(folder.c_str(), W_OK | X_OK) != 0) {
    reason = "folder " + folder + ": " + FileErrorText(errno);
    return false;
  }
  struct stat target {};
  if (path_calls::Lstat(path.c_str(), &target) != 0) {
    if (errno == ENOENT) return true;  // a new file
    reason = FileErrorText(errno);
    return false;
  }
  if (S_ISLNK(target.st_mode) && PlantedLink(target, dir)) {
    reason = "a symbolic link owned by another user in a shared folder; it is not followed";
    return false;
  }
  if (path_calls::Stat(path.c_str(), &target) != 0) {
    if (errno == ENOENT) return true;  // a link to a file not there yet
    reason = FileErrorText(errno);
    return false;
  }
  if (S_ISDIR(target.st_mode)) {
    reason = "is a directory";
    return false;
  }
  if (!S_ISREG(target.st_mode)) {
    reason = "not a regular file";
    return false;
  }
  // A file without any write permission is read-only, also for the superuser.
  if ((target.st_mode & 0222) == 0 || path_calls::Access(path.c_str(), W_OK) != 0) {
    reason = "read-only file (permission denied)";
    return false;
  }
  return true;
}

bool WriteOutputFile(const std::string& path, std::string_view bytes, std::string& reason) {
  if (!CheckOutputPath(path, reason)) return false;
  // Settings, JSON and traces may hold the GPRS password: a new file is the
  // owner's alone.
  int error = 0;
  if (platform::ReplaceFileContents(path, bytes, error, platform::NewFileAccess::OwnerOnly)) return true;
  // The checks passed a moment ago: what is left is mostly the disk itself.
  reason =
      (error != 0 ? FileErrorText(error) : std::string("the new file could not be written")) + "; the old file is kept";
  return false;
}
