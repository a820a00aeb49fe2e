#include "platform/path_calls.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace path_calls {

int Open(const char* path, int flags, int mode) { return ::open(path, flags, mode); }
int Stat(const char* path, struct stat* st) { return ::stat(path, st); }
int Lstat(const char* path, struct stat* st) { return ::lstat(path, st); }
int Access(const char* path, int mode) { return ::access(path, mode); }
int Unlink(const char* path) { return ::unlink(path); }
int Link(const char* existing, const char* name) { return ::link(existing, name); }
int MakeFolder(const char* path, int mode) { return ::mkdir(path, static_cast<mode_t>(mode)); }
std::FILE* OpenStream(const char* path, const char* mode) { return std::fopen(path, mode); }
int Remove(const char* path) { return std::remove(path); }

bool FolderNames(const char* folder, std::vector<std::string>& names) {
  names.clear();
  DIR* dir = ::opendir(folder);
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  const int error = errno;
  ::closedir(dir);
  errno = error;
  return true;
}

}  // namespace path_calls
