// The last word on the line for a process that quits at once. Its signal (or
// console) handler closes the gate before it sends the bytes that leave the
// tracker idle (ESC for a message text being entered): from then on no port
// write starts, and the writes already under way are waited for, so a store
// command another thread was about to send can never follow the ESC and
// leave the tracker taking in text nobody ends.
//
// The exit bytes themselves are set through the gate too (SetPortExitBytes):
// once it is closed they stay what the line's state called for.
//
// Thread contract: Enter and Leave (or a Pass) from any thread around each
// port write;
// CloseAndDrain is async-signal-safe and may run on a thread that is itself
// inside a write (it then waits out its bound and goes on).
#pragma once

namespace platform::write_gate {

// How long a process quitting at once waits for writes under way (real
// milliseconds): a command goes out in far less; a stalled line is not waited
// out.
constexpr unsigned EXIT_WRITE_DRAIN_MS = 200;

// Starts a port write: false once the gate is closed (nothing may be sent).
bool Enter();
// Ends a write that Enter let through.
void Leave();
// Closes the gate for the rest of the process and waits at most `boundMs`
// for the writes under way to end. True when none was left under way.
bool CloseAndDrain(unsigned boundMs);
// Whether the gate is closed.
bool Closed();

// One port write's passage: Enter on construction, and Leave when it goes out
// of scope if the gate let it through; false when the gate was closed.
class Pass {
 public:
  Pass() : through_(Enter()) {}
  ~Pass() {
    if (through_) Leave();
  }
  Pass(const Pass&) = delete;
  Pass& operator=(const Pass&) = delete;
  explicit operator bool() const { return through_; }

 private:
  bool through_;
};

}  // namespace platform::write_gate
