// kvctl --trace FILE: every byte sent to and received from any port, with a
// time stamp, the port and the direction, as hex and printable text.
#pragma once

#include <string>

// Starts tracing into `path`; false (with errno's text in `error`) when the
// file cannot be created.
bool StartTrace(const std::string& path, std::string& error);
void StopTrace();

// Formats one trace line (exposed for tests): "12.345678 /dev/pts/3 > 61 74 |at|".
std::string FormatTraceLine(double seconds, const std::string& device, bool sent,
                            const unsigned char* bytes, std::size_t count);
