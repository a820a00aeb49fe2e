#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string ErrnoReason(int code) {
  switch (code) {
    case ENOENT: return "no such file";
    case EACCES: return "permission denied";
    case EISDIR: return "is a directory";
    case ENOTDIR: return "a part of the path is not a folder";
    default: return std::strerror(code);
  }
}

}  // namespace

bool ReadInputFile(const std::string& path, std::size_t maxBytes, std::string& bytes, std::string& error) {
  bytes.clear();
  // Non-blocking, so that opening a FIFO without a writer cannot hang.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    error = ErrnoReason(errno);
    return false;
  }
  struct stat st {};
  bool ok = false;
  if (::fstat(fd, &st) != 0) {
    error = ErrnoReason(errno);
  } else if (S_ISDIR(st.st_mode)) {
    error = "is a directory";
  } else if (!S_ISREG(st.st_mode)) {
    error = "not a regular file";
  } else if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
    error = "too large (" + std::to_string(st.st_size) + " bytes, at most " + std::to_string(maxBytes) + ")";
  } else {
    ok = true;
    char chunk[16384];
    for (;;) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error = ErrnoReason(errno);
        ok = false;
        break;
      }
      if (n == 0) break;
      bytes.append(chunk, static_cast<std::size_t>(n));
      if (bytes.size() > maxBytes) {  // grew while being read
        error = "too large (more than " + std::to_string(maxBytes) + " bytes)";
        ok = false;
        break;
      }
    }
  }
  ::close(fd);
  if (!ok) bytes.clear();
  return ok;
}
