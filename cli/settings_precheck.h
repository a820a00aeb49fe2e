// set's and watch set's FILE, with the rows of a profile table, checked as
// each tracker would get it, before any port is opened: a text holding a
// comma or a control byte, a message over 127 characters, and with --strict
// a setting neither the file nor the tracker's row gives. A tracker's layout
// follows its firmware version, which is known only once it is connected, so
// everything is checked in both layouts and a problem in either refuses the
// file; the message names the layout when only one of them has it (message 1
// has six more settings in the extended layout, which also has six settings
// of its own a file may lack).
//
// Thread contract: pure function; main thread, before tracker threads start.
#pragma once

#include <string>

#include "commands.h"
#include "unit_profiles.h"

struct SettingsCheckInput {
  const SettingsFileInput* file = nullptr;
  const UnitProfiles* profiles = nullptr;  // null: no table
  std::string profilesPath;
  bool onlyListed = false;  // trackers without a row are skipped, so FILE alone goes to none
  bool strict = false;
};

// False with the reason (lines after the first indented) in `error`.
bool CheckSettingsBeforeTrackers(const SettingsCheckInput& input, std::string& error);
