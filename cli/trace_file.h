// kvctl --trace FILE: every byte sent to and received from any port, with a
// time stamp, the port and the direction, as hex and printable text.
//
// The lines are kept in memory and written in one step when kvctl ends (also
// after a first Ctrl-C), through the same safe write as every output file:
// the trace never truncates a file before the inputs were read, and a failed
// write keeps the old file. At most TRACE_MAX_BYTES are kept.
//
// Thread contract: StartTrace, FinishTrace from the main thread; the port
// sink runs on any reading or writing thread. The recorded lines and their
// lock are never destroyed: a worker that outran its caller's bound (a probe
// past PROBE_STOP_WAIT_MS, a settings session's thread past its stop bound)
// may still read or write a port, and so record, while the process exits;
// what it records after FinishTrace is not written.
#pragma once

#include <cstddef>
#include <string>

constexpr std::size_t TRACE_MAX_BYTES = 64u * 1024 * 1024;

// Checks that `path` can take the trace and starts recording; false (with the
// reason in `error`) when the file could not be written.
bool StartTrace(const std::string& path, std::string& error);
// Stops recording and writes the trace file; false with the reason when it
// could not be written. Does nothing (true) when no trace was started.
bool FinishTrace(std::string& error);

// Formats one trace line (exposed for tests): "12.345678 /dev/pts/3 > 61 74 |at|".
std::string FormatTraceLine(double seconds, const std::string& device, bool sent, const unsigned char* bytes,
                            std::size_t count);
