#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/profile_file.h"

namespace platform {

FileReadError ReadProfileFile(const std::string& path, std::string& bytes, std::size_t maxBytes) {
  bytes.clear();
  // Non-blocking, so that a FIFO or a device is never waited on; what the
  // path names is decided on the open descriptor, not on the name.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    switch (errno) {
      case ENOENT:
      case ENOTDIR: return FileReadError::NotFound;
      case EACCES:
      case EPERM: return FileReadError::PermissionDenied;
      case EISDIR: return FileReadError::IsDirectory;
      case ENXIO: return FileReadError::NotRegular;  // a FIFO without writer, a socket
      default: return FileReadError::ReadFailed;
    }
  }
  struct stat st {};
  FileReadError error = FileReadError::None;
  if (fstat(fd, &st) != 0) error = FileReadError::ReadFailed;
  else if (S_ISDIR(st.st_mode)) error = FileReadError::IsDirectory;
  else if (!S_ISREG(st.st_mode)) error = FileReadError::NotRegular;
  else if (static_cast<std::uint64_t>(st.st_size) > maxBytes) error = FileReadError::TooLarge;
  if (error == FileReadError::None) {
    // The file may grow while it is read: one byte beyond the limit tells.
    bytes.resize(maxBytes + 1);
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error = FileReadError::ReadFailed;
        break;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (error == FileReadError::None && got > maxBytes) error = FileReadError::TooLarge;
    bytes.resize(error == FileReadError::None ? got : 0);
  }
  close(fd);
  return error;
}

}  // namespace platform
