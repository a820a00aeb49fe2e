#include "output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "input_file.h"
#include "platform/file_replace.h"
#include "platform/path_calls.h"

namespace {

#ifdef _WIN32
constexpr const char* kSeparators = "/\\";  // Windows takes either
#else
constexpr const char* kSeparators = "/";
#endif

#ifdef _WIN32
// Windows opens a device, in any folder, for a file named CON, PRN, AUX,
// NUL, COM1 to COM9 or LPT1 to LPT9, with any extension: no file can have
// such a name.
bool DeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) && base[3] >= '1' &&
         base[3] <= '9';
}
#endif

// The kernel's rule for symbolic links in sticky, world-writable folders: a
// link is followed only when its owner is the follower or the folder's owner.
bool PlantedLink(const struct stat& link, const struct stat& folder) {
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  return shared && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid;
}

}  // namespace

std::string FolderOfPath(const std::string& path) {
  const std::size_t slash = path.find_last_of(kSeparators);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return path.substr(0, 1);
#ifdef _WIN32
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);  // a drive's root, "C:\\"
#endif
  return path.substr(0, slash);
}

bool CheckOutputPath(const std::string& path, std::string& reason) {
  const std::string folder = FolderOfPath(path);
  const std::size_t slash = path.find_last_of(kSeparators);
  const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  if (name.empty() || name == "." || name == "..") {
    reason = "is a directory";
    return false;
  }
#ifdef _WIN32
  if (DeviceName(name)) {
    reason = "not a regular file (" + name + " is a device name on Windows)";
    return false;
  }
#endif
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
