// The tool's timings, in one place for the desktop tool and kvctl: poll
// periods, pauses and the bounds of its waits, in clock milliseconds
// (platform/clock.h), and the line speed of each connection.
//
// Every bound that waits for something defined here is checked against it
// below; a bound that waits for work defined elsewhere is checked next to its
// wait. Changing a value here breaks the build where a wait no longer covers
// what it waits for.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

// ---- Line speeds ----------------------------------------------------------

constexpr DWORD MAIN_BAUD_RATE = 115200;      // Start, Update's hand-off, kvctl
constexpr DWORD SCAN_BAUD_RATE = 115200;      // every port of the port scan
constexpr DWORD FIRMWARE_BAUD_RATE = 115200;  // the YMODEM transfer

// ---- The probe ------------------------------------------------------------

// Polls made by one probe before it gives up (the poll with counter 500 is
// the last), the pause before each, and how often "ati" is sent again.
constexpr int PROBE_LAST_POLL = 500;
constexpr DWORD PROBE_POLL_MS = 50;
constexpr int PROBE_ATI_EVERY = 100;
// The pauses of a probe that never hears an answer (about 25 s).
constexpr DWORD PROBE_POLLING_MS = (PROBE_LAST_POLL + 1) * PROBE_POLL_MS;

// Start's and Update's wait for the probe, and the port scan's.
constexpr DWORD PROBE_WAIT_MS = 30000;
constexpr DWORD SCAN_PROBE_WAIT_MS = 60000;
static_assert(PROBE_POLLING_MS < PROBE_WAIT_MS, "Start gives up before the probe has polled its last");
static_assert(PROBE_POLLING_MS < SCAN_PROBE_WAIT_MS, "the scan gives up before the probe has polled its last");

// The wait for a probe told to stop: it looks at the request after each pause.
constexpr DWORD PROBE_STOP_WAIT_MS = 2000;
static_assert(PROBE_POLL_MS < PROBE_STOP_WAIT_MS, "a stopped probe is given up before its next look");

// ---- The main window's reader and IMEI ------------------------------------

// How often the reader looks at the line, and at its flags while paused.
constexpr DWORD READER_CYCLE_MS = 300;
constexpr DWORD READER_PAUSED_CYCLE_MS = 1000;
// The longest the reader sleeps before it looks at its run flag again.
constexpr DWORD READER_LONGEST_CYCLE_MS =
    READER_CYCLE_MS > READER_PAUSED_CYCLE_MS ? READER_CYCLE_MS : READER_PAUSED_CYCLE_MS;

// The IMEI is asked for again every IMEI_POLL_MS until it shows; Setting
// becomes usable IMEI_TICKS_BEFORE_SETTING of these ticks after Start.
constexpr DWORD IMEI_POLL_MS = 1000;
constexpr std::uint32_t IMEI_TICKS_BEFORE_SETTING = 5;

// The waits for the reader to end: Stop, the window's close, the Update
// hand-off.
constexpr DWORD STOP_READER_WAIT_MS = 10000;
constexpr DWORD CLOSE_READER_WAIT_MS = 5000;
constexpr DWORD UPDATE_READER_WAIT_MS = 5000;
static_assert(READER_LONGEST_CYCLE_MS < STOP_READER_WAIT_MS, "Stop gives up on a reader that is only asleep");
static_assert(READER_LONGEST_CYCLE_MS < CLOSE_READER_WAIT_MS, "the close gives up on a reader that is only asleep");
static_assert(READER_LONGEST_CYCLE_MS < UPDATE_READER_WAIT_MS, "the hand-off gives up on a reader that is only asleep");

// How long a reader that runs without a window (kvctl) waits for the line in
// one look, and so how soon it sees that its wait is over.
constexpr DWORD PARSER_LOOK_MS = 100;

// Update's wait for the boot loader's "Waiting for the file to be sent"
// after the menu choice "1".
constexpr DWORD FILE_PROMPT_WAIT_MS = 3000;
static_assert(READER_CYCLE_MS < FILE_PROMPT_WAIT_MS, "the reader must look at the line during the wait");
static_assert(PARSER_LOOK_MS < FILE_PROMPT_WAIT_MS, "kvctl must look at the line during the wait");

// ---- The port scan --------------------------------------------------------

// The pause between two ports, and OK's wait for the scan worker. OK's wait
// covers the pause; a worker inside a probe then may outlive the dialog
// (serial/port_scan.h says what it may touch).
constexpr DWORD SCAN_PORT_PAUSE_MS = 200;
constexpr DWORD SCAN_BREAK_WAIT_MS = 3000;
static_assert(SCAN_PORT_PAUSE_MS < SCAN_BREAK_WAIT_MS, "OK gives up on a worker between two ports");

// ---- The settings exchange ------------------------------------------------

namespace settings {

constexpr DWORD READER_POLL_MS = 100;
constexpr DWORD VERSION_WAIT_MS = 2000;
constexpr DWORD VERSION_PAUSE_MS = 500;
constexpr DWORD TEXT_MODE_WAIT_MS = 5000;
constexpr DWORD REPLY_WAIT_MS = 5000;
constexpr DWORD READ_PAUSE_MS = 300;         // after a read command of the read
constexpr DWORD DELETE_PAUSE_MS = 500;       // after each delete of the delete phase
constexpr DWORD STORE_TEXT_PAUSE_MS = 100;   // between store command and text
constexpr DWORD STORE_END_PAUSE_MS = 1000;   // between text and end mark
constexpr DWORD STORE_AFTER_PAUSE_MS = 500;  // after the store reply
constexpr DWORD CHECK_PAUSE_MS = 100;        // after the read command of the check
// The session's wait for each of its threads when it stops.
constexpr DWORD READER_STOP_WAIT_MS = 60000;

// A cancel ends every pause and reply wait of a worker at once, except the
// two pauses around a message text: once a store command is out, its text
// and end mark always follow.
constexpr DWORD UNCANCELLABLE_STEP_MS = STORE_TEXT_PAUSE_MS + STORE_END_PAUSE_MS;

// One attempt at one message of a write, when every reply wait runs out or
// the read-back differs: store, check and the delete after a mismatch.
constexpr DWORD WRITE_ATTEMPT_LONGEST_MS = STORE_TEXT_PAUSE_MS + STORE_END_PAUSE_MS + REPLY_WAIT_MS +
                                           STORE_AFTER_PAUSE_MS + CHECK_PAUSE_MS + REPLY_WAIT_MS + REPLY_WAIT_MS;

static_assert(READER_POLL_MS < READER_STOP_WAIT_MS, "the stop gives up on a reader between two looks");
static_assert(UNCANCELLABLE_STEP_MS < READER_STOP_WAIT_MS, "the stop gives up on a worker finishing a message text");

}  // namespace settings

// How long the Device Setting dialog's close waits for a cancelled transfer
// to end; the session's threads get settings::READER_STOP_WAIT_MS on top.
constexpr DWORD CLOSE_TRANSFER_WAIT_MS = 10000;
// How often the Device Setting dialog looks whether its tracker's line is
// gone while no transfer runs (a transfer notices it itself): a pulled cable
// is reported within a second at any moment.
constexpr DWORD LINE_WATCH_MS = 250;
static_assert(settings::UNCANCELLABLE_STEP_MS < CLOSE_TRANSFER_WAIT_MS,
              "the close gives up on a worker finishing a message text");

// ---- The firmware transfer ------------------------------------------------

// The transfer's wait for the boot loader's first start character (the
// sender waits at least its own minimum, firmware/ymodem_sender.h).
constexpr DWORD FIRMWARE_START_WAIT_MS = 30000;
