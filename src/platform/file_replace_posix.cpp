#include "platform/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace platform {
namespace {

// The file a path finally names: a symbolic link is followed so that the
// file it points to is replaced, not the link.
std::string ResolveTarget(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Creates a new, empty file beside `target` that no one else uses; -1 on failure.
int CreateTempBeside(const std::string& folder, const std::string& name, std::string& tempPath) {
  static std::atomic<unsigned> counter{0};
  // Keep the temporary name within the file-name limit of the folder.
  const std::string stem = "." + name.substr(0, 180) + ".tmp-" + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = folder + stem + std::to_string(counter.fetch_add(1));
    const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // best effort: the new file is already in place
  close(fd);
}

}  // namespace

bool ReplaceFileContents(const std::string& path, std::string_view bytes) {
  const std::string target = ResolveTarget(path);
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string name = target.substr(folder.size());
  if (name.empty() || name == "." || name == "..") return false;

  struct stat existing {};
  const bool exists = stat(target.c_str(), &existing) == 0;
  // A file without any write permission is read-only, also for the superuser.
  if (exists && (!S_ISREG(existing.st_mode) || (existing.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0))
    return false;

  std::string tempPath;
  const int fd = CreateTempBeside(folder, name, tempPath);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes);
  // A replaced file keeps its permissions; a new one gets the usual ones.
  if (ok && exists) ok = fchmod(fd, existing.st_mode & 07777) == 0;
  if (ok) ok = fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (ok) ok = rename(tempPath.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(tempPath.c_str());
    return false;
  }
  SyncFolder(folder);
  return true;
}

}  // namespace platform
