// Windows: kvctl's backups and audit log live in the user's local
// application data folder (%LOCALAPPDATA%, not roaming: backups hold the
// GPRS password in clear), whose access is the user's alone.
#include <direct.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "user_folders.h"

namespace {

std::string LocalAppData() {
  const char* value = std::getenv("LOCALAPPDATA");
  if (value && value[0] && value[1] == ':') return value;
  return {};
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

std::string UserDataFolder() { return LocalAppData(); }
std::string UserStateFolder() { return LocalAppData(); }

bool MakeFolders(const std::string& path, std::string& error) {
  if (path.empty()) {
    error = "no folder given";
    return false;
  }
  // The drive ("C:") or the server share ("\\server\share") exists or not.
  std::size_t first = 1;
  if (path.size() >= 2 && path[1] == ':') first = 3;
  for (std::size_t at = first; at <= path.size(); ++at) {
    if (at != path.size() && !IsSeparator(path[at])) continue;
    const std::string part = path.substr(0, at);
    if (part.empty() || IsSeparator(part.back())) continue;
    if (::_mkdir(part.c_str()) == 0 || errno == EEXIST) continue;
    error = "cannot create the folder " + part + " (" + std::strerror(errno) + ")";
    return false;
  }
  struct _stat64 st {};
  if (::_stat64(path.c_str(), &st) != 0 || !(st.st_mode & _S_IFDIR)) {
    error = path + " is not a folder";
    return false;
  }
  return true;
}
