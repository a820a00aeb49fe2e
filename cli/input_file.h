// Reading kvctl's input files (settings files) whole and once, before any
// tracker is touched, with a reason a user understands when it fails.
//
// Thread contract: plain functions; touch only the file named.
#pragma once

#include <cstddef>
#include <string>

#include "platform/profile_file.h"

// Largest settings file kvctl reads (the window's bound); real ones are about
// 1.5 KiB.
constexpr std::size_t SETTINGS_FILE_MAX_BYTES = platform::PROFILE_FILE_MAX_BYTES;

// Reads the regular file at `path` (at most `maxBytes`) through the same
// bounded reader the window's Import uses. False with a reason
// ("no such file", "is a directory", "permission denied", "not a regular
// file", "too large ...") when it cannot. Never blocks on a FIFO or a device.
bool ReadInputFile(const std::string& path, std::size_t maxBytes, std::string& bytes, std::string& reason);

// The reason for an errno value, in the words kvctl uses for files.
std::string FileErrorText(int error);

// True when the two paths name one file: the same text, the same device and
// inode when both exist, or the same resolved path when neither does (a
// symbolic link, a hard link or "./name" is the same file).
bool SameFile(const std::string& a, const std::string& b);
