// The file-system calls kvctl makes by path, with paths in UTF-8 on every
// system. POSIX passes the bytes on; Windows turns them into UTF-16 for the
// wide calls of its runtime (_wopen, _wstat64, CreateHardLinkW,
// FindFirstFileW), so a name in any script reaches the file it names. A path
// that is not UTF-8 fails with EINVAL and touches nothing.
//
// Thread contract: plain functions, any thread; they report through errno as
// the calls they stand for.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include "platform/wide_text.h"
#endif

namespace path_calls {

int Open(const char* path, int flags, int mode = 0);
int Stat(const char* path, struct stat* st);
int Lstat(const char* path, struct stat* st);  // Windows: Stat (no links followed there)
int Access(const char* path, int mode);
int Unlink(const char* path);
int Link(const char* existing, const char* name);  // a hard link; EEXIST for a taken name
int MakeFolder(const char* path, int mode);        // the mode is POSIX's only
std::FILE* OpenStream(const char* path, const char* mode);
int Remove(const char* path);
// The names in a folder but "." and ".."; false with errno set.
bool FolderNames(const char* folder, std::vector<std::string>& names);

// A path object for a UTF-8 path and back. On Windows a path object made
// from narrow text would read it in the system's code page, so the wide form
// goes in and comes out; a path that is not UTF-8 gives an empty object.
inline std::filesystem::path FsPath(const std::string& utf8) {
#ifdef _WIN32
  std::wstring wide;
  if (!platform::Utf8ToWide(utf8, wide)) return {};
  return std::filesystem::path(wide);
#else
  return std::filesystem::path(utf8);
#endif
}

inline std::string FsText(const std::filesystem::path& path) {
#ifdef _WIN32
  std::string utf8;
  platform::WideToUtf8(path.native(), utf8);
  return utf8;
#else
  return path.string();
#endif
}

}  // namespace path_calls
