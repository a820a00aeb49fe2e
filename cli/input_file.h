// Reading a file kvctl takes as input (a settings file, a profile table, a
// backup) whole, with the reason when it cannot: no such file, a folder, not
// a regular file (a FIFO or a device is never read, so kvctl cannot hang on
// one), too large, permission denied.
//
// Thread contract: touches only the file named; any thread.
#pragma once

#include <cstddef>
#include <string>

// Reads at most `maxBytes`; false with the reason in `error` (without the
// path, which the caller adds).
bool ReadInputFile(const std::string& path, std::size_t maxBytes, std::string& bytes, std::string& error);
