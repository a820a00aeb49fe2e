// The per-user list of running simulated trackers. Each kvsim process leaves
// one small file in the runtime folder while it runs, naming its
// pseudo-terminal, the friendly name its port is shown with and its process
// id; port enumeration lists the ones whose process is alive and whose
// pseudo-terminal exists. A file whose process is gone (the simulator was
// killed) is ignored and removed.
//
// The folder is $XDG_RUNTIME_DIR/kv770-sim/ when that variable names a
// writable folder, else /tmp/kv770-sim-<uid>/. It is created private (0700);
// a folder that belongs to another user or is open to others is not used.
//
// Thread contract: every function may be called from any thread.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The runtime folder's path (without creating it).
std::string RuntimeFolder();
// Creates the runtime folder when missing. False when it cannot be created or
// is not safe to use (a symlink, another user's, writable by others).
bool EnsureRuntimeFolder();

// Names one advertisement; empty when advertising failed.
struct SimulatedPortToken {
  std::string filePath;
  explicit operator bool() const { return !filePath.empty(); }
};

// Advertises `ptyPath` (for example "/dev/pts/5") as a tracker port of this
// process. The file appears complete or not at all.
SimulatedPortToken AdvertiseSimulatedPort(const std::string& ptyPath);
// Removes the advertisement; true when it was there. Clears the token.
bool WithdrawSimulatedPort(SimulatedPortToken& token);

struct SimulatedPort {
  std::string portPath;      // "/dev/pts/5"
  std::string friendlyName;  // "Prolific USB-to-Serial Comm Port (/dev/pts/5)"
  long pid = 0;              // the serving process
};

// The advertised ports whose process runs and whose pseudo-terminal exists,
// oldest first. Removes advertisements whose process has ended.
std::vector<SimulatedPort> ListSimulatedPorts();

}  // namespace platform
