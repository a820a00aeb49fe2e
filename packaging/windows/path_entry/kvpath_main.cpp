// kvpath.exe: the installer's step that adds its folder to the system PATH
// and the uninstaller's step that takes it out again. The installer's own
// strings hold 1024 characters, too few for a PATH; this program reads and
// writes the whole value, keeps its type (REG_EXPAND_SZ or REG_SZ) and
// changes nothing but the one entry.
//   kvpath add FOLDER      exit 0: added, 1: already there
//   kvpath remove FOLDER   exit 0: removed, 1: not there
//   exit 2: wrong arguments, 3: the registry refused (nothing changed)
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

#include "path_entry.h"

namespace {

constexpr wchar_t kEnvironmentKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

struct PathValue {
  std::wstring text;
  DWORD type = REG_EXPAND_SZ;
};

bool ReadPath(HKEY key, PathValue& value) {
  DWORD type = 0, size = 0;
  LSTATUS status = RegQueryValueExW(key, L"Path", nullptr, &type, nullptr, &size);
  if (status == ERROR_FILE_NOT_FOUND) return true;  // no PATH yet: an empty one
  for (int tries = 0; status == ERROR_SUCCESS && tries < 5; ++tries) {
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    status = RegQueryValueExW(key, L"Path", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got);
    if (status == ERROR_MORE_DATA) {
      size = got;
      status = ERROR_SUCCESS;
      continue;
    }
    if (status != ERROR_SUCCESS) break;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    buffer.resize(got / sizeof(wchar_t));
    while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
    value.text = std::move(buffer);
    value.type = type;
    return true;
  }
  return false;
}

bool WritePath(HKEY key, const PathValue& value) {
  const DWORD bytes = static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key, L"Path", 0, value.type, reinterpret_cast<const BYTE*>(value.text.c_str()), bytes) ==
         ERROR_SUCCESS;
}

int Run(const std::wstring& verb, const std::wstring& folder) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
    std::fputs("kvpath: the system environment cannot be opened for writing\n", stderr);
    return 3;
  }
  PathValue value;
  if (!ReadPath(key, value)) {
    RegCloseKey(key);
    std::fputs("kvpath: the system PATH cannot be read\n", stderr);
    return 3;
  }
  const auto changed =
      verb == L"add" ? path_entry::AddEntry(value.text, folder) : path_entry::RemoveEntry(value.text, folder);
  if (!changed) {
    RegCloseKey(key);
    std::puts(verb == L"add" ? "kvpath: the folder is already on the PATH" : "kvpath: the folder is not on the PATH");
    return 1;
  }
  value.text = *changed;
  const bool written = WritePath(key, value);
  RegCloseKey(key);
  if (!written) {
    std::fputs("kvpath: the system PATH cannot be written\n", stderr);
    return 3;
  }
  // Programs started from Explorer afterwards see the new PATH.
  SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"), SMTO_ABORTIFHUNG,
                      5000, nullptr);
  std::puts(verb == L"add" ? "kvpath: folder added to the PATH" : "kvpath: folder removed from the PATH");
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc != 3 || (std::wstring(argv[1]) != L"add" && std::wstring(argv[1]) != L"remove") ||
      argv[2][0] == L'\0') {
    std::fputs("Usage: kvpath add|remove FOLDER\n", stderr);
    return 2;
  }
  const int status = Run(argv[1], argv[2]);
  LocalFree(argv);
  return status;
}
