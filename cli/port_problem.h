// Why a port could not be opened, in words for the user, and the check that
// keeps kvctl from opening the terminal it runs in as a tracker port.
// DescribePortProblem is declared in tracker_session.h.
//
// Thread contract: any thread.
#pragma once

#include <string>

// True when `path` (a device path, platform::PortDevicePath) is the terminal
// kvctl runs in or the terminal of one of its standard streams.
bool IsOwnTerminalPath(const std::string& path);
