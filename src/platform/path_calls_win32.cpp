// The wide calls of the Windows runtime behind path_calls.h.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <direct.h>

#include <cerrno>

#include "platform/path_calls.h"
#include "platform/wide_text.h"

namespace path_calls {
namespace {

// The wide form of `path`; false with errno EINVAL when it is not UTF-8.
bool Widen(const char* path, std::wstring& wide) {
  if (path == nullptr || !platform::Utf8ToWide(path, wide)) {
    errno = EINVAL;
    return false;
  }
  return true;
}

int ErrnoFrom(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return EEXIST;
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_DISK_FULL: return ENOSPC;
    case ERROR_INVALID_NAME: return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    default: return EIO;
  }
}

}  // namespace

int Open(const char* path, int flags, int mode) {
  std::wstring wide;
  return Widen(path, wide) ? ::_wopen(wide.c_str(), flags, mode) : -1;
}

int Stat(const char* path, struct stat* st) {
  std::wstring wide;
  struct _stat64 full {};
  if (!Widen(path, wide) || ::_wstat64(wide.c_str(), &full) != 0) return -1;
  *st = {};
  st->st_dev = full.st_dev;
  st->st_ino = full.st_ino;
  st->st_mode = full.st_mode;
  st->st_nlink = full.st_nlink;
  st->st_uid = full.st_uid;
  st->st_gid = full.st_gid;
  st->st_rdev = full.st_rdev;
  st->st_size = static_cast<decltype(st->st_size)>(full.st_size);
  st->st_atime = full.st_atime;
  st->st_mtime = full.st_mtime;
  st->st_ctime = full.st_ctime;
  return 0;
}

int Lstat(const char* path, struct stat* st) { return Stat(path, st); }

int Access(const char* path, int mode) {
  std::wstring wide;
  // The runtime knows only existence (0), writing (2) and reading (4).
  return Widen(path, wide) ? ::_waccess(wide.c_str(), mode & 06) : -1;
}

int Unlink(const char* path) {
  std::wstring wide;
  return Widen(path, wide) ? ::_wunlink(wide.c_str()) : -1;
}

int Link(const char* existing, const char* name) {
  std::wstring from, to;
  if (!Widen(existing, from) || !Widen(name, to)) return -1;
  if (::CreateHardLinkW(to.c_str(), from.c_str(), nullptr)) return 0;
  errno = ErrnoFrom(::GetLastError());
  return -1;
}

int MakeFolder(const char* path, int) {
  std::wstring wide;
  return Widen(path, wide) ? ::_wmkdir(wide.c_str()) : -1;
}

std::FILE* OpenStream(const char* path, const char* mode) {
  std::wstring wide, wideMode;
  if (!Widen(path, wide) || !Widen(mode, wideMode)) return nullptr;
  return ::_wfopen(wide.c_str(), wideMode.c_str());
}

int Remove(const char* path) {
  std::wstring wide;
  return Widen(path, wide) ? ::_wremove(wide.c_str()) : -1;
}

bool FolderNames(const char* folder, std::vector<std::string>& names) {
  names.clear();
  std::wstring wide;
  if (!Widen(folder, wide)) return false;
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    errno = ErrnoFrom(::GetLastError());
    return false;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    errno = ENOTDIR;
    return false;
  }
  if (!wide.empty() && wide.back() != L'\\' && wide.back() != L'/') wide += L'\\';
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW((wide + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return true;  // an empty folder (a drive's root)
    errno = ErrnoFrom(error);
    return false;
  }
  do {
    std::string name;
    // A name that is no valid UTF-16 is no backup of ours: left out.
    if (!platform::WideToUtf8(found.cFileName, name) || name == "." || name == "..") continue;
    names.push_back(name);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return true;
}

}  // namespace path_calls
