// Windows: kvctl's backups and audit log live in the user's local
// application data folder (%LOCALAPPDATA%, not roaming: backups hold the
// GPRS password in clear), whose access is the user's alone. The folder is
// taken in UTF-16 and kept in UTF-8, so an account name in any script works.
#include <windows.h>
#include <shlobj.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/path_calls.h"
#include "platform/wide_text.h"
#include "user_folders.h"

namespace {

bool IsDrivePath(const std::wstring& path) { return path.size() >= 3 && path[1] == L':'; }

// %LOCALAPPDATA% as the environment gives it (as the user's session sets it,
// or as a caller points it elsewhere), else the known folder itself.
std::string LocalAppData() {
  std::wstring wide;
  if (const wchar_t* value = ::_wgetenv(L"LOCALAPPDATA"); value && IsDrivePath(value)) wide = value;
  if (wide.empty()) {
    PWSTR known = nullptr;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &known)) && known &&
        IsDrivePath(known))
      wide = known;
    ::CoTaskMemFree(known);
  }
  std::string utf8;
  if (wide.empty() || !platform::WideToUtf8(wide, utf8)) return {};
  return utf8;
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
    if (path_calls::MakeFolder(part.c_str(), 0700) == 0 || errno == EEXIST) continue;
    error = "cannot create the folder " + part + " (" + std::strerror(errno) + ")";
    return false;
  }
  struct stat st {};
  if (path_calls::Stat(path.c_str(), &st) != 0 || !(st.st_mode & _S_IFDIR)) {
    error = path + " is not a folder";
    return false;
  }
  return true;
}
