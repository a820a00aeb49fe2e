#include "platform/waitable_posix.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/clock.h"

namespace platform::detail {

struct Waiter;

// The place of one wait in one object's list.
struct WaitLink {
  Waiter* waiter = nullptr;
  WaitLink* prev = nullptr;
  WaitLink* next = nullptr;
};

// A blocked wait: its objects, and the outcome that whoever completes it
// leaves here before waking it. Lives in the waiting thread's frame; it is
// only notified under the lock, so it is never touched after that thread has
// seen `done` and returned.
struct Waiter {
  Waiter(DWORD n, Waitable* const* objs, bool all) : count(n), objects(objs), waitAll(all) {}
  const DWORD count;
  Waitable* const* const objects;
  const bool waitAll;
  std::condition_variable wake;
  bool done = false;
  DWORD result = WAIT_TIMEOUT;
  WaitLink* links = nullptr;  // one per object, in the waiting thread's frame
};

namespace {

// Never destroyed (waitable_posix.h).
std::mutex& WaitLock() {
  static auto* lock = new std::mutex;
  return *lock;
}

unsigned long g_wakes = 0;  // guarded by the wait lock

void Consume(Waitable& object) {
  if (!object.manualReset) object.signalled = false;
}

// Ends the wait now if its objects allow, consuming what it takes; returns
// false (and changes nothing) otherwise. Called with the lock held.
bool TrySatisfy(DWORD count, Waitable* const* objects, bool waitAll, DWORD& result) {
  if (waitAll) {
    for (DWORD i = 0; i < count; ++i) {
      if (!objects[i]->signalled) return false;
    }
    for (DWORD i = 0; i < count; ++i) Consume(*objects[i]);
    result = WAIT_OBJECT_0;
    return true;
  }
  for (DWORD i = 0; i < count; ++i) {
    if (objects[i]->signalled) {
      Consume(*objects[i]);
      result = WAIT_OBJECT_0 + i;
      return true;
    }
  }
  return false;
}

void Enlist(Waiter& waiter) {
  for (DWORD i = 0; i < waiter.count; ++i) {
    Waitable& object = *waiter.objects[i];
    WaitLink& link = waiter.links[i];
    link.waiter = &waiter;
    link.prev = object.lastWaiter;
    link.next = nullptr;
    (object.lastWaiter ? object.lastWaiter->next : object.firstWaiter) = &link;
    object.lastWaiter = &link;
  }
}

void Delist(Waiter& waiter) {
  for (DWORD i = 0; i < waiter.count; ++i) {
    Waitable& object = *waiter.objects[i];
    WaitLink& link = waiter.links[i];
    (link.prev ? link.prev->next : object.firstWaiter) = link.next;
    (link.next ? link.next->prev : object.lastWaiter) = link.prev;
  }
}

}  // namespace

void Signal(Waitable& object) {
  std::lock_guard<std::mutex> lock(WaitLock());
  object.signalled = true;
  // Oldest wait first; an auto-reset object stops at the first wait it ends.
  for (WaitLink* link = object.firstWaiter; link != nullptr && object.signalled;) {
    Waiter& waiter = *link->waiter;
    WaitLink* next = link->next;
    if (TrySatisfy(waiter.count, waiter.objects, waiter.waitAll, waiter.result)) {
      // A wait on any may name this object twice; its later links go with it.
      while (next != nullptr && next->waiter == &waiter) next = next->next;
      Delist(waiter);
      waiter.done = true;
      waiter.wake.notify_one();
    }
    link = next;
  }
}

void Unsignal(Waitable& object) {
  std::lock_guard<std::mutex> lock(WaitLock());
  object.signalled = false;
}

bool IsSignalled(const Waitable& object) {
  std::lock_guard<std::mutex> lock(WaitLock());
  return object.signalled;
}

DWORD WaitForObjects(DWORD count, Waitable* const* objects, bool waitAll, DWORD timeoutMs) {
  std::unique_lock<std::mutex> lock(WaitLock());
  DWORD result = WAIT_TIMEOUT;
  if (TrySatisfy(count, objects, waitAll, result) || timeoutMs == 0) return result;

  const auto deadline = std::chrono::steady_clock::now() + platform::RealDuration(timeoutMs);
  std::array<WaitLink, kMaxWaitObjects> links;
  Waiter waiter(count, objects, waitAll);
  waiter.links = links.data();
  Enlist(waiter);
  while (!waiter.done) {
    if (timeoutMs == INFINITE) {
      waiter.wake.wait(lock);
      ++g_wakes;
    } else {
      const bool timedOut = waiter.wake.wait_until(lock, deadline) == std::cv_status::timeout;
      ++g_wakes;
      if (timedOut && !waiter.done) {
        Delist(waiter);
        return WAIT_TIMEOUT;
      }
    }
  }
  return waiter.result;
}

unsigned long WakeCount() {
  std::lock_guard<std::mutex> lock(WaitLock());
  return g_wakes;
}

}  // namespace platform::detail
