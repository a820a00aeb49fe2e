// Where kvctl keeps what it writes for the user between runs: backups in the
// user's data folder, the audit log in the user's state folder, each under
// "kv770". The folders follow the XDG base directory rules: the variable's
// value when it is an absolute path, else the default under the home folder.
//
// Thread contract: reads the environment; call before tracker threads start
// or from any thread while nothing changes the environment.
#pragma once

#include <string>

// The separator kvctl puts between a folder and a name, and the characters
// that separate the parts of a path the user gives. Windows takes "/" and
// "\\" alike, except in a long-path name ("\\?\\C:\\..."), which takes "\\" only.
#ifdef _WIN32
inline constexpr char PATH_SEPARATOR = '\\';
inline constexpr const char* PATH_SEPARATORS = "/\\";
#else
inline constexpr char PATH_SEPARATOR = '/';
inline constexpr const char* PATH_SEPARATORS = "/";
#endif

// $XDG_DATA_HOME, else ~/.local/share; empty when no home folder is known.
std::string UserDataFolder();
// $XDG_STATE_HOME, else ~/.local/state; empty when no home folder is known.
std::string UserStateFolder();

// Creates `path` and any missing parent, new folders private to the user
// (0700: backups hold the GPRS password in clear). False with the reason.
bool MakeFolders(const std::string& path, std::string& error);
