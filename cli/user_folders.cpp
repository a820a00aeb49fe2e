#include "user_folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/')
    return found->pw_dir;
  return {};
}

std::string XdgFolder(const char* variable, const char* underHome) {
  if (const char* value = std::getenv(variable); value && value[0] == '/') return value;
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : home + "/" + underHome;
}

}  // namespace

std::string UserDataFolder() { return XdgFolder("XDG_DATA_HOME", ".local/share"); }
std::string UserStateFolder() { return XdgFolder("XDG_STATE_HOME", ".local/state"); }

bool MakeFolders(const std::string& path, std::string& error) {
  if (path.empty()) {
    error = "no folder given";
    return false;
  }
  for (std::size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    const std::string part = path.substr(0, at);
    if (::mkdir(part.c_str(), 0700) == 0 || errno == EEXIST) continue;
    error = "cannot create the folder " + part + " (" + std::strerror(errno) + ")";
    return false;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = path + " is not a folder";
    return false;
  }
  return true;
}
