// Everything that shapes one simulated tracker: its answers and its faults.
//
// Thread contract: filled on the main thread before the simulator starts, then only
// read by its threads.
#pragma once

#include <cstdint>
#include <string>

#include "sim_boot_loader.h"
#include "sim_gsm.h"
#include "sim_line.h"

namespace sim {

enum class ProbeAnswer {
  MainMenu,  // the tracker shows its menu
  Siemens,   // the GSM module identifies itself ("SIEMENS" ... "OK")
  Silent,    // nothing at all
  Garbage,   // bytes that hold neither answer
};

struct MenuOptions {
  ProbeAnswer probeAnswer = ProbeAnswer::MainMenu;
  bool splitProbeAnswer = false;  // the answer's two halves come 1000 ms apart
  std::string imei = "356938035643809";
  bool imeiMissing = false;        // "at+gsn\r" gets only its echo and ERROR
  std::uint32_t imeiDelayMs = 0;   // pause before the IMEI answer
  bool filePromptMissing = false;  // menu choice "1" prints nothing
};

// What the tracker does after its boot loader received a whole batch: it
// restarts into the new firmware, silent for a boot time, and then answers
// from its menu again with the version the image names.
struct RestartOptions {
  bool restarts = true;               // false: it stays silent until a power cycle
  std::uint32_t bootMs = 3000;        // silence before the menu is back (clock milliseconds)
  std::string versionAfter;           // the version it reports then; empty: the image's own
  bool portLeavesDuringBoot = false;  // kvsim: the port leaves the tool's list while it boots
};

struct SimOptions {
  LineOptions line;
  MenuOptions menu;
  GsmOptions gsm;
  BootOptions boot;
  RestartOptions restart;
};

}  // namespace sim
