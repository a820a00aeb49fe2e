// The SHA-256 digest of a whole file, for kvctl's audit log.
//
// Thread contract: touches only the file named; any thread.
#pragma once

#include <string>

// False with the reason in `error` when the file is not a regular file or
// cannot be read to its end.
bool Sha256OfFile(const std::string& path, std::string& hex, std::string& error);
