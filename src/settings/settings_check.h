// The check a record passes before it is written to a tracker.
//
// A message field cannot hold a comma (it would end the field early and
// shift every field after it) or a control byte (a CR or LF ends the text as
// the tracker reads it back, Ctrl-Z ends the message body and ESC abandons
// it, so the rest would reach the GSM module as commands). A message text
// must also fit the tracker's 128-byte message buffer with its NUL; a longer
// one would be stored empty. The check finds both, so that a write can be
// refused before anything on the tracker is deleted.
//
// The settings file is not subject to this check: import and export keep
// such values as they are. A character of a Unicode settings file that code
// page 1252 cannot hold is read as DEL (platform::ANSI_SUBSTITUTE) and is
// refused here like any other forbidden byte.
//
// Thread contract: pure functions; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "settings/device_settings.h"

namespace settings {

// A byte a message field cannot carry: commas, bytes below 0x20 and 0x7F.
constexpr bool IsForbiddenInMessage(unsigned char c) { return c == ',' || c < 0x20 || c == 0x7F; }

struct ForbiddenByte {
  std::size_t offset;  // position in the value, counted from 0
  unsigned char byte;
};

struct SettingsProblem {
  enum class Kind { ForbiddenBytes, MessageTooLong };
  Kind kind = Kind::ForbiddenBytes;
  const SettingInfo* setting = nullptr;  // ForbiddenBytes: the setting that holds them
  std::vector<ForbiddenByte> bytes;      // ForbiddenBytes: every such byte, in order
  unsigned messageNumber = 0;            // the message concerned (1 to 4)
  std::size_t length = 0;                // MessageTooLong: the text's length
  std::size_t excess = 0;                // MessageTooLong: characters beyond MESSAGE_MAX_LENGTH
};

// Every problem that would keep the record from reaching the tracker intact
// in this layout: settings sent in the layout that hold forbidden bytes (in
// table order), then messages that are too long (in message order). Empty
// when the record may be written.
std::vector<SettingsProblem> CheckForDevice(const DeviceSettings& s, SettingsLayout layout);

// One text for a message box or an error stream that names every problem,
// e.g. "User Name" (userName): comma at character 4.
std::string DescribeProblems(const std::vector<SettingsProblem>& problems);

}  // namespace settings
