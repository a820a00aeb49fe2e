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

constexpr int kMaxLinks = 40;  // as the system's own limit on a path
// Largest old content kept in memory to put back after a failed in-place write.
constexpr off_t kMaxRestoreBytes = 16 * 1024 * 1024;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The system's rule for following a link (protected symlinks): in a sticky
// folder that anyone may write, only a link of the follower or of the
// folder's owner is followed, so no other user can plant one there.
bool MayFollowLink(const std::string& linkPath, const struct stat& link) {
  const std::string folder = FolderOf(linkPath);
  struct stat dir {};
  if (stat(folder.empty() ? "." : folder.c_str(), &dir) != 0) return false;
  const bool shared = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
  return !shared || link.st_uid == geteuid() || link.st_uid == dir.st_uid;
}

// The file a path finally names, following links one by one under the rule
// above; 0 or an errno value. A link that names nothing yet is not followed:
// the link itself is then replaced by the new file.
int ResolveTarget(const std::string& path, std::string& target) {
  target = path;
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    struct stat st {};
    if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
    if (!MayFollowLink(target, st)) return EACCES;
    char next[PATH_MAX];
    const ssize_t n = readlink(target.c_str(), next, sizeof next - 1);
    if (n < 0) return errno;
    next[n] = '\0';
    std::string resolved = next[0] == '/' ? std::string(next) : FolderOf(target) + next;
    struct stat named {};
    if (stat(resolved.c_str(), &named) != 0 && lstat(resolved.c_str(), &named) != 0) return 0;
    target = std::move(resolved);
  }
  return ELOOP;
}

// Writes all of `bytes` at `offset`; 0 or an errno value.
int WriteAllAt(int fd, std::string_view bytes, off_t offset) {
  while (!bytes.empty()) {
    const ssize_t n = pwrite(fd, bytes.data(), bytes.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(n));
    offset += n;
  }
  return 0;
}

// Creates a new, empty file beside `target` that no one else uses; -1 on failure.
int CreateTempBeside(const std::string& folder, const std::string& name, mode_t mode, std::string& tempPath) {
  static std::atomic<unsigned> counter{0};
  // Keep the temporary name within the file-name limit of the folder.
  const std::string stem = "." + name.substr(0, 180) + ".tmp-" + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = folder + stem + std::to_string(counter.fetch_add(1));
    const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // best effort: the new file is already in place
  close(fd);
}

// Gives the new file the old one's permissions and owner; 0 or an errno value.
int KeepAttributes(int fd, const struct stat& old) {
  if (fchmod(fd, old.st_mode & 07777) != 0) return errno;
  if (old.st_uid != geteuid() || old.st_gid != getegid()) {
    if (fchown(fd, old.st_uid, old.st_gid) != 0) return errno;
    // Changing the owner clears the set-id bits: put the mode again.
    if (fchmod(fd, old.st_mode & 07777) != 0) return errno;
  }
  return 0;
}

// The new file beside the target, moved over it. 0, an errno value, or
// -1 when the existing file has to be written in place instead.
int ReplaceByRename(const std::string& folder, const std::string& name, const std::string& target,
                    const struct stat* existing, std::string_view bytes, NewFileAccess access) {
  std::string tempPath;
  // Owner only until the old file's permissions are put on it.
  const mode_t mode = existing || access == NewFileAccess::OwnerOnly ? 0600 : 0666;
  const int fd = CreateTempBeside(folder, name, mode, tempPath);
  if (fd < 0) return existing ? -1 : errno;
  int error = WriteAllAt(fd, bytes, 0);
  if (error == 0 && existing) {
    error = KeepAttributes(fd, *existing);
    if (error == EPERM) error = -1;  // the owner cannot be kept this way
  }
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && rename(tempPath.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(tempPath.c_str());
    return error;
  }
  SyncFolder(folder);
  return 0;
}

// Rewrites the existing file itself; on failure the old bytes go back as far
// as they can. 0 or an errno value.
int ReplaceInPlace(const std::string& target, const struct stat& existing, std::string_view bytes) {
  const int fd = open(target.c_str(), O_RDWR | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  if (fstat(fd, &st) != 0 || st.st_dev != existing.st_dev || st.st_ino != existing.st_ino || !S_ISREG(st.st_mode)) {
    close(fd);
    return EAGAIN;  // the name was given to another file meanwhile
  }
  std::string old;
  bool haveOld = st.st_size <= kMaxRestoreBytes;
  if (haveOld) {
    old.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < old.size()) {
      const ssize_t n = pread(fd, old.data() + got, old.size() - got, static_cast<off_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    haveOld = got == old.size();
  }
  int error = WriteAllAt(fd, bytes, 0);
  if (error == 0 && ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) error = errno;
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (error != 0 && haveOld) {
    if (WriteAllAt(fd, old, 0) == 0 && ftruncate(fd, static_cast<off_t>(old.size())) == 0) fsync(fd);
  }
  if (close(fd) != 0 && error == 0) error = errno;
  return error;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, std::string_view bytes, int& error, NewFileAccess access) {
  std::string target;
  error = ResolveTarget(path, target);
  if (error != 0) return false;
  const std::string folder = FolderOf(target);
  const std::string name = target.substr(folder.size());
  if (name.empty() || name == "." || name == "..") {
    error = name.empty() && !folder.empty() ? EISDIR : EINVAL;
    return false;
  }

  struct stat existing {};
  const bool exists = lstat(target.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) {
    error = errno;
    return false;
  }
  if (exists) {
    if (S_ISDIR(existing.st_mode)) error = EISDIR;
    else if (!S_ISREG(existing.st_mode)) error = EINVAL;
    // A file without any write permission is read-only, also for the superuser.
    else if ((existing.st_mode & 0222) == 0) error = EACCES;
    else if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) error = errno;
    if (error != 0) return false;
  }

  // Another hard link would keep the old bytes after a rename.
  int result = exists && existing.st_nlink > 1
                   ? -1
                   : ReplaceByRename(folder, name, target, exists ? &existing : nullptr, bytes, access);
  if (result == -1) result = ReplaceInPlace(target, existing, bytes);
  error = result;
  return error == 0;
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes, int& error) {
  return ReplaceFileContents(path, bytes, error, NewFileAccess::Shared);
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes) {
  int error = 0;
  return ReplaceFileContents(path, bytes, error);
}

}  // namespace platform
