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

// The full path of a file that need not exist: "." and ".." resolved, its
// folder (when it exists) with long names instead of 8.3 ones. Empty when
// the path cannot be resolved.
std::wstring FullLongPath(const std::string& path) {
  std::wstring wide;
  if (!platform::Utf8ToWide(path, wide) || wide.empty()) return {};
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return {};
  std::wstring full(size, L'\0');
  const DWORD got = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (got == 0 || got >= size) return {};
  full.resize(got);
  const std::size_t cut = full.find_last_of(L"\\/");
  if (cut == std::wstring::npos) return full;
  const std::wstring folder = full.substr(0, cut + 1);
  const DWORD longSize = ::GetLongPathNameW(folder.c_str(), nullptr, 0);
  if (longSize == 0) return full;  // the folder is not there either: as written
  std::wstring longFolder(longSize, L'\0');
  const DWORD longGot = ::GetLongPathNameW(folder.c_str(), longFolder.data(), longSize);
  if (longGot == 0 || longGot >= longSize) return full;
  longFolder.resize(longGot);
  if (!longFolder.empty() && longFolder.back() != L'\\') longFolder += L'\\';
  return longFolder + full.substr(cut + 1);
}
}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  const bool aExists = FileIdentity(a, ia), bExists = FileIdentity(b, ib);
  if (aExists && bExists)
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
  if (aExists != bExists) return false;
  // Neither is there yet: the same full path, ignoring letter case, once
  // "." and ".." and short names are resolved, is the file Windows would
  // open for both.
  const std::wstring fa = FullLongPath(a), fb = FullLongPath(b);
  return !fa.empty() && !fb.empty() &&
         ::CompareStringOrdinal(fa.c_str(), static_cast<int>(fa.size()), fb.c_str(), static_cast<int>(fb.size()),
                                TRUE) == CSTR_EQUAL;
}
