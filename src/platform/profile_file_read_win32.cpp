// Reading a settings file on Windows: opened for reading only, shared with
// other readers and writers; what the path names (a folder, a device, a pipe)
// is decided on the open handle.
#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "platform/profile_file.h"
#include "platform/wide_text.h"

namespace platform {

FileReadError ReadProfileFile(const std::string& path, std::string& bytes, std::size_t maxBytes) {
  bytes.clear();
  // A path that is not UTF-8 names no file (it is not guessed at).
  std::wstring wide;
  if (!Utf8ToWide(path, wide) || wide.empty()) return FileReadError::NotFound;
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return FileReadError::IsDirectory;
  // A pipe or a device is refused on the handle before anything is read.
  HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    switch (::GetLastError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME: return FileReadError::NotFound;
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION: return FileReadError::PermissionDenied;
      default: return FileReadError::ReadFailed;
    }
  }
  FileReadError error = FileReadError::None;
  LARGE_INTEGER size{};
  if (::GetFileType(file) != FILE_TYPE_DISK) error = FileReadError::NotRegular;
  else if (!::GetFileSizeEx(file, &size)) error = FileReadError::ReadFailed;
  else if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) error = FileReadError::TooLarge;
  if (error == FileReadError::None) {
    // The file may grow while it is read: one byte beyond the limit tells.
    bytes.resize(maxBytes + 1);
    std::size_t got = 0;
    while (got < bytes.size()) {
      DWORD n = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - got, 1u << 20));
      if (!::ReadFile(file, bytes.data() + got, want, &n, nullptr)) {
        error = FileReadError::ReadFailed;
        break;
      }
      if (n == 0) break;
      got += n;
    }
    if (error == FileReadError::None && got > maxBytes) error = FileReadError::TooLarge;
    bytes.resize(error == FileReadError::None ? got : 0);
  }
  ::CloseHandle(file);
  return error;
}

}  // namespace platform
