// Windows build of kvctl only (given to the compiler with -include): the few
// POSIX names kvctl's file code uses (audit log, backups, output files,
// checksums), mapped onto the Windows C runtime where Windows has the same
// thing, and made neutral where it has no such thing:
//   - no controlling terminal, no non-blocking open of a FIFO, no symbolic
//     links the runtime would follow, no sticky folders: those flags and
//     checks do nothing;
//   - descriptors are not inherited by child processes (O_CLOEXEC);
//   - fsync flushes the file to the disk (_commit); a folder cannot be
//     opened, so syncing one is skipped as on a file system that refuses it;
//   - link() makes a hard link and fails with EEXIST on an existing name;
//     kvctl's own file calls by path go through platform/path_calls.h,
//     which takes UTF-8 paths to the wide calls.
// Files are opened in binary mode throughout (sync_win32.cpp sets it), so
// bytes are written and read as on Linux.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>

#ifndef O_CLOEXEC
#define O_CLOEXEC _O_NOINHERIT
#endif
#define O_NOCTTY 0
#define O_NONBLOCK 0
#define O_NOFOLLOW 0
#define O_DIRECTORY 0
#define F_GETFL 3
#define F_SETFL 4
#ifndef S_ISLNK
#define S_ISLNK(mode) 0
#endif
#ifndef S_ISVTX
#define S_ISVTX 01000
#endif
#ifndef EDQUOT
#define EDQUOT 122
#endif

inline int fcntl(int, int, int = 0) { return 0; }
inline int fsync(int fd) { return _commit(fd); }
inline int lstat(const char* path, struct stat* st) { return stat(path, st); }
inline short geteuid() { return 0; }  // the type of st_uid here
// A hard link by UTF-8 names (platform/path_calls.h).
namespace path_calls {
int Link(const char* existing, const char* name);
}
inline int link(const char* existing, const char* name) { return path_calls::Link(existing, name); }
