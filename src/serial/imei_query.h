// Asking a probed tracker for its IMEI without a window: the same commands
// and the same answer parser as the main window's Start, for callers that
// serve one or many trackers from a terminal.
#pragma once

#include <optional>
#include <string>

#include "platform/sync.h"

constexpr DWORD IMEI_POLL_MS = 1000;

// Writes the start menu choice "2" and "at+gsn\r", then reads the answers
// through the reader's parser, asking again every IMEI_POLL_MS, for at most
// `boundMs`. Returns the IMEI, or nothing when none came.
std::optional<std::string> QueryImei(HANDLE port, DWORD boundMs);
