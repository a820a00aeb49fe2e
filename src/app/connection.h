// How the tool connects to a tracker: the line speed, the bound of the probe
// wait, the IMEI poll period and the texts the user sees when it fails.
// Shared by the main window and the terminal probe; no toolkit.
#pragma once

#include "platform/win_types.h"

constexpr DWORD MAIN_BAUD_RATE = 115200;
constexpr DWORD PROBE_WAIT_MS = 30000;
constexpr DWORD IMEI_POLL_MS = 1000;

inline constexpr char OPEN_PORT_FAILED_TEXT[] = "Open COM port fail!!";
inline constexpr char NO_DEVICE_TEXT[] = "Device does not found!!";
