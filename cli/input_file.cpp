#include "input_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/profile_file.h"

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

bool ReadInputFile(const std::string& path, std::size_t maxBytes, std::string& bytes, std::string& reason) {
  const platform::FileReadError error = platform::ReadProfileFile(path, bytes, maxBytes);
  if (error == platform::FileReadError::None) return true;
  reason = error == platform::FileReadError::TooLarge ? "too large (more than " + std::to_string(maxBytes) + " bytes)"
                                                      : platform::DescribeFileReadError(error);
  return false;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa {
  }, sb{};
  const bool aExists = ::stat(a.c_str(), &sa) == 0;
  const bool bExists = ::stat(b.c_str(), &sb) == 0;
  if (aExists && bExists) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  if (aExists != bExists) return false;
  // Neither is there yet: the same path once links and "." are resolved.
  std::error_code ea, eb;
  const auto ra = std::filesystem::weakly_canonical(std::filesystem::absolute(a, ea), ea);
  const auto rb = std::filesystem::weakly_canonical(std::filesystem::absolute(b, eb), eb);
  return !ea && !eb && ra == rb;
}
