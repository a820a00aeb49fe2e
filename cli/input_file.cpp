#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::string FileErrorText(int error) {
  switch (error) {
    case ENOENT: return "no such file";
    case ENOTDIR: return "a folder on the path is not a folder";
    case EISDIR: return "is a directory";
    case EACCES:
    case EPERM: return "permission denied";
    case ELOOP: return "too many symbolic links";
    case EROFS: return "read-only file system";
    case ENOSPC: return "no space left on the disk";
    case EDQUOT: return "disk quota exceeded";
    case ENAMETOOLONG: return "file name too long";
    default: return std::strerror(error);
  }
}

bool ReadInputFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                   std::string& reason) {
  bytes.clear();
  // O_NONBLOCK: a FIFO opens at once (and is then refused below).
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    reason = FileErrorText(errno);
    return false;
  }
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  if (!ok) {
    reason = FileErrorText(errno);
  } else if (S_ISDIR(st.st_mode)) {
    reason = "is a directory";
    ok = false;
  } else if (!S_ISREG(st.st_mode)) {
    reason = "not a regular file";
    ok = false;
  } else if (static_cast<std::size_t>(st.st_size) > maxBytes) {
    reason = "too large (" + std::to_string(st.st_size) + " bytes; at most " + std::to_string(maxBytes) + ")";
    ok = false;
  }
  while (ok) {
    char buffer[8192];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = FileErrorText(errno);
      ok = false;
    } else if (n == 0) {
      break;
    } else if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
      reason = "too large (more than " + std::to_string(maxBytes) + " bytes)";  // it grew while read
      ok = false;
    } else {
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  if (!ok) bytes.clear();
  return ok;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
