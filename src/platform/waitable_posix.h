// Internal (POSIX): the objects a wait can name (events and threads) and the
// waits on them, with Windows' rules: a wait on several objects ends on the
// lowest-numbered signalled one or, waiting for all, only once all are
// signalled at the same moment; an auto-reset object is consumed by exactly
// one satisfied wait.
//
// Each object keeps the list of the waits blocked on it, and each blocked
// wait sleeps on a condition of its own. A change of state completes, under
// the lock below, the waits it satisfies (consuming what they consume) and
// wakes those threads alone; a set that satisfies nobody wakes nobody. So the
// cost of a set grows with the waits on that object, not with every thread
// of the process: kvctl runs a few threads per tracker, hundreds at once.
//
// One process-wide lock guards every object's state and list. It is held
// only for this bookkeeping, never while a thread sleeps, and is never
// destroyed (sync.h: a thread may end while the process exits).
//
// Thread contract: any thread, as sync.h.
#pragma once

#include "platform/handle_object.h"

namespace platform::detail {

struct WaitLink;

struct Waitable : HandleObject {
  Waitable(Kind kind, bool manualReset, bool signalled)
      : HandleObject(kind), manualReset(manualReset), signalled(signalled) {}

  const bool manualReset;
  // Guarded by the wait lock.
  bool signalled;
  WaitLink* firstWaiter = nullptr;  // blocked waits, oldest first
  WaitLink* lastWaiter = nullptr;
};

// Sets the object signalled and completes the blocked waits it satisfies.
void Signal(Waitable& object);
// Clears the object's state; wakes nobody.
void Unsignal(Waitable& object);
bool IsSignalled(const Waitable& object);

// Windows' limit on the handles of one wait (MAXIMUM_WAIT_OBJECTS).
constexpr unsigned kMaxWaitObjects = 64;

// Waits for any (or all) of `count` objects, at most `timeoutMs` clock
// milliseconds (INFINITE: no bound). The caller has checked the arguments.
// Returns WAIT_OBJECT_0 + index (WAIT_OBJECT_0 for a wait on all) or WAIT_TIMEOUT.
DWORD WaitForObjects(DWORD count, Waitable* const* objects, bool waitAll, DWORD timeoutMs);

// How often a blocked wait has woken up, for whatever reason; tests use it to
// check that a set wakes only the waits it ends.
unsigned long WakeCount();

}  // namespace platform::detail
