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

// The end of `path`'s root, which exists or not and is never made: "C:\\",
// "\\server\\share\\", and the same after the long-path prefix "\\?\\" (or
// "\\.\\"), as "\\?\\C:\\" or "\\?\\UNC\\server\\share\\".
std::size_t RootLength(const std::string& path) {
  std::size_t at = 0;
  bool share = false;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && IsSeparator(path[3])) {
      at = 4;
      if (path.size() >= 8 && _strnicmp(path.c_str() + 4, "UNC", 3) == 0 && IsSeparator(path[7])) {
        at = 8;
        share = true;
      }
    } else {
      at = 2;
      share = true;
    }
  }
  if (share) {  // the server and the share
    for (int part = 0; part < 2 && at < path.size(); ++part) {
      while (at < path.size() && !IsSeparator(path[at])) ++at;
      if (at < path.size()) ++at;
    }
    return at;
  }
  if (path.size() >= at + 2 && path[at + 1] == ':') return at + 2 + (path.size() > at + 2 && IsSeparator(path[at + 2]));
  return at == 0 ? 1 : at;
}

}  // namespace

std::string UserDataFolder() { return LocalAppData(); }
std::string UserStateFolder() { return LocalAppData(); }

bool MakeFolders(const std::string& path, std::string& error) {
  if (path.empty()) {
    error = "no folder given";
    return false;
  }
  for (std::size_t at = RootLength(path); at <= path.size(); ++at) {
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
