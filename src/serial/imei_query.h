// Talking to a probed tracker without a window: the same commands and the
// same answer parser as the main window's Start and Update, for callers
// that serve one or many trackers from a terminal.
//
// Thread contract: any thread, one call at a time per port; calls on
// different ports run side by side (kvctl: one thread per tracker). The
// link's callbacks, `done` and `eachPoll` run on the calling thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "common/tool_timings.h"
#include "platform/sync.h"

class ReaderLink;

// Reads what the tracker sends through the reader's parser (with `link`'s
// callbacks) until `done` holds or `boundMs` ran out; `eachPoll` runs after
// every look at the port. False when `done` never held or the line went away.
bool ReadThroughParser(HANDLE port, ReaderLink& link, DWORD boundMs, const std::function<bool()>& done,
                       const std::function<void()>& eachPoll);

// Writes the start menu choice "2" and "at+gsn\r", then reads the answers,
// asking again every IMEI_POLL_MS, for at most `boundMs`. Returns the IMEI,
// or nothing when none came. A `stop` that returns true ends the wait early
// (the caller's interrupt), with nothing.
std::optional<std::string> QueryImei(HANDLE port, DWORD boundMs, const std::function<bool()>& stop = {});

// Writes the menu choice "1" and waits at most `promptWaitMs` for the boot
// loader's "Waiting for the file to be sent". True when it came.
bool RequestFirmwareDownload(HANDLE port, DWORD promptWaitMs);
