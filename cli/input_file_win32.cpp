#define KV_WIN32_REAL_CALLS  // this file calls the real functions
// Windows version of input_file.cpp: the same texts and reading; whether two
// paths name one file is decided by the volume and file index (the C
// runtime's stat has no inode numbers on Windows).
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "input_file.h"
#include "platform/profile_file.h"
#include "platform/wide_text.h"

std::string FileErrorText(int error) {
  switch (error) {
    case ENOENT: return "no such file";
    case ENOTDIR: return "a folder on the path is not a folder";
    case EISDIR: return "is a directory";
    case EACCES:
    case EPERM: return "permission denied";
    case EROFS: return "read-only file system";
    case ENOSPC: return "no space left on the disk";
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

namespace {
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  std::wstring wide;
  if (!platform::Utf8ToWide(path, wide)) return false;
  HANDLE file = ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = ::GetFileInformationByHandle(file, &info) != 0;
  ::CloseHandle(file);
  return ok;
}
}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  if (!FileIdentity(a, ia) || !FileIdentity(b, ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}
