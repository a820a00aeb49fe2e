// Opening a tracker port for the text exchanges of the main window, the port
// scan and the settings dialog: 8N1, no flow control, DTR and RTS off, and
// reads that return at once with what has arrived (or wait up to 100 ms for
// the first byte when nothing has).
//
// Thread contract: any thread; the handle is then used as serial_io.h says.
#pragma once

#include "platform/serial_io.h"

// Opens `portName` (without the list's trailing colon) with exclusive access.
// Returns the handle, or INVALID_HANDLE_VALUE when the port cannot be opened.
// Once the port is open, settings the driver refuses do not fail the open.
HANDLE OpenSerialPort(const char* portName, DWORD baudRate);
