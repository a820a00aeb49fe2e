// Commands the main window (and the terminal program) write to the tracker,
// each with one WriteFile, exactly these bytes. The menu choices carry no
// line end.
//
// Thread contract: any thread that may write to the port (serial_io.h).
#pragma once

#include <cstring>

#include "platform/serial_io.h"

// Menu choice that starts the tracker's normal operation (AT commands).
inline constexpr char START_MENU_CHOICE[] = "2";
// Menu choice that enters the boot loader's firmware download.
inline constexpr char UPDATE_MENU_CHOICE[] = "1";
// Asks the GSM module for its IMEI.
inline constexpr char IMEI_QUERY[] = "at+gsn\r";

// Writes one command in a single write. True when all of it went out.
inline bool WriteTrackerCommand(HANDLE port, const char* command) {
  const DWORD length = static_cast<DWORD>(std::strlen(command));
  DWORD written = 0;
  return WriteFile(port, command, length, &written, nullptr) && written == length;
}
