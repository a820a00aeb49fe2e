// File replacement on Windows: the bytes go to a new file beside the old one,
// are flushed to the disk, and ReplaceFileW puts the new file in the old
// one's place keeping its attributes, security and creation time (a new file
// is moved in with MoveFileExW). A file with other hard links, or one in a
// folder where no new file can be made, is written in place, and its old
// bytes are put back when that write fails.
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/file_replace.h"
#include "platform/wide_text.h"

namespace platform {
namespace {

// Largest old content kept in memory to put back after a failed in-place write.
constexpr DWORD kMaxRestoreBytes = 16 * 1024 * 1024;

// The wide path; empty when `utf8` is not UTF-8 (refused as an invalid name).
std::wstring Wide(const std::string& utf8) {
  std::wstring wide;
  return Utf8ToWide(utf8, wide) ? wide : std::wstring();
}

int ErrnoFrom(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_UNABLE_TO_REMOVE_REPLACED: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER: return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    default: return EIO;
  }
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L"\\/");
  if (cut != std::wstring::npos) return path.substr(0, cut + 1);
  if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
  return {};
}

bool WriteAll(HANDLE file, std::string_view bytes, DWORD& error) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
      error = ::GetLastError();
      if (error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

// A new file beside `path`, written and flushed; empty on failure.
std::wstring WriteTempBeside(const std::wstring& path, std::string_view bytes, DWORD& error) {
  static std::atomic<unsigned> counter{0};
  const std::wstring stem = path + L".tmp-" + std::to_wstring(::GetCurrentProcessId()) + L"-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring temp = stem + std::to_wstring(counter.fetch_add(1));
    HANDLE file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      error = ::GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return {};
    }
    const bool ok = WriteAll(file, bytes, error) && (::FlushFileBuffers(file) || ((error = ::GetLastError()), false));
    ::CloseHandle(file);
    if (ok) return temp;
    ::DeleteFileW(temp.c_str());
    return {};
  }
  error = ERROR_FILE_EXISTS;
  return {};
}

// Writes `bytes` over the existing file; puts the old bytes back on failure.
bool WriteInPlace(const std::wstring& path, std::string_view bytes, DWORD& error) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = ::GetLastError();
    return false;
  }
  LARGE_INTEGER size{};
  std::string old;
  bool ok = ::GetFileSizeEx(file, &size) != 0;
  if (ok && size.QuadPart <= kMaxRestoreBytes) {
    old.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    ok = old.empty() ||
         (::ReadFile(file, old.data(), static_cast<DWORD>(old.size()), &got, nullptr) && got == old.size());
  }
  if (!ok) {
    error = ::GetLastError();
    ::CloseHandle(file);
    return false;
  }
  LARGE_INTEGER start{};
  ok = ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && WriteAll(file, bytes, error) && ::SetEndOfFile(file) &&
       ::FlushFileBuffers(file);
  if (!ok) {
    if (error == ERROR_SUCCESS) error = ::GetLastError();
    DWORD ignored = 0;
    if (::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && WriteAll(file, old, ignored)) {
      ::SetEndOfFile(file);
      ::FlushFileBuffers(file);
    }
  }
  ::CloseHandle(file);
  return ok;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, std::string_view bytes) {
  int error = 0;
  return ReplaceFileContents(path, bytes, error);
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes, int& error, NewFileAccess) {
  return ReplaceFileContents(path, bytes, error);
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes, int& error) {
  error = 0;
  const std::wstring target = Wide(path);
  if (target.empty() || IsSeparator(target.back()) || target.back() == L':') {
    error = EINVAL;
    return false;
  }
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error = EISDIR;
    return false;
  }
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) {
    error = EACCES;
    return false;
  }
  if (!exists) {
    const std::wstring folder = FolderOf(target);
    const DWORD folderAttributes = ::GetFileAttributesW(folder.empty() ? L"." : folder.c_str());
    if (folderAttributes == INVALID_FILE_ATTRIBUTES || !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      error = ENOENT;
      return false;
    }
  }
  bool inPlace = false;
  if (exists) {
    HANDLE file = ::CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    if (file != INVALID_HANDLE_VALUE) {
      if (::GetFileInformationByHandle(file, &info)) inPlace = info.nNumberOfLinks > 1;
      ::CloseHandle(file);
    }
  }
  DWORD failure = ERROR_SUCCESS;
  if (!inPlace) {
    const std::wstring temp = WriteTempBeside(target, bytes, failure);
    if (temp.empty()) {
      // No new file beside it (a folder the caller may not write): the
      // existing file is written in place instead.
      if (exists && failure == ERROR_ACCESS_DENIED) {
        inPlace = true;
      } else {
        error = ErrnoFrom(failure);
        return false;
      }
    } else {
      if (exists &&
          ::ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return true;
      failure = exists ? ::GetLastError() : ERROR_SUCCESS;
      // A new file, or a file system without ReplaceFileW: a move that
      // replaces the name in one step. After ERROR_UNABLE_TO_MOVE_REPLACEMENT
      // the old file is already gone and the move is the only way left.
      if (::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
      const DWORD moveFailure = ::GetLastError();
      if (failure == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
        // The new bytes are in the temporary file, the only copy left: kept.
        error = EIO;
        return false;
      }
      ::DeleteFileW(temp.c_str());
      error = ErrnoFrom(moveFailure);
      return false;
    }
  }
  if (!WriteInPlace(target, bytes, failure)) {
    error = ErrnoFrom(failure);
    return false;
  }
  return true;
}

}  // namespace platform
