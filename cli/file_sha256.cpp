#include "file_sha256.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/sha256.h"
#include "platform/path_calls.h"

bool Sha256OfFile(const std::string& path, std::string& hex, std::string& error) {
  const int fd = path_calls::Open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "not a regular file";
    ::close(fd);
    return false;
  }
  Sha256 sha;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    sha.Update(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  hex = DigestHex(sha.Finish());
  return true;
}
