// What a failed serial read or write means. A port opened with abort-on-error
// stops every read and write after a framing, parity or overrun error until
// the error is acknowledged (ClearCommError); such a failure is a bad byte on
// a live line, not a lost one. Only an error that says the device is gone
// (removed, its handle no longer valid, access refused after the removal)
// ends the connection.
//
// Thread contract: the functions keep no state; the calls they are given run
// on the caller's thread.
#pragma once

#include <functional>

#include "platform/win_types.h"

namespace platform {

// True when a read or write that failed with `error` means the port's device
// has gone away, so that trying again cannot help.
bool CommErrorMeansDeviceGone(DWORD error);

// Runs `call` (a read or a write). When it fails with an error that leaves the
// device in place, acknowledges the line error with `clearLineError` and runs
// `call` once more. Returns the last result; the thread's last error is the
// one of the failing call (a failed acknowledgement keeps the first error).
BOOL CallRetryingAfterLineError(const std::function<BOOL()>& call, const std::function<BOOL()>& clearLineError);

}  // namespace platform
