// Result codes of the firmware transfer, in bands: 0 success, -100 to -105 the
// byte channel, -200 and -201 time-out and retries, -300 to -303 data and
// protocol. The sender passes the channel's codes through unchanged, so one
// number says where a transfer ended.
//
// Thread contract: constants and a pure function, any thread.
#pragma once

constexpr int TRANSFER_OK = 0;

constexpr int CHANNEL_FAILED = -100;        // any channel failure not listed below
constexpr int CHANNEL_NO_SUCH_PORT = -101;  // the port does not exist
constexpr int CHANNEL_PORT_BUSY = -102;     // the port is held by another handle
constexpr int CHANNEL_BAD_SETTINGS = -103;  // the driver refused the line settings
constexpr int CHANNEL_WRITE_FAILED = -104;
constexpr int CHANNEL_READ_FAILED = -105;

constexpr int TRANSFER_TIMEOUT = -200;           // no byte within the wait, or a stalled write
constexpr int TRANSFER_TOO_MANY_RETRIES = -201;  // a block went out 10 times unacknowledged
constexpr int TRANSFER_SOURCE_FAILED = -300;     // the data ended early or could not be read
constexpr int TRANSFER_UNEXPECTED_REPLY = -301;  // not the start character after block 0 or EOT
constexpr int TRANSFER_CANCELLED = -302;         // the receiver sent two CANs in a row
constexpr int TRANSFER_HEADER_TOO_LONG = -303;   // name and size do not fit into block 0

// A short English description of a result code, for logs and the terminal
// program ("the port is held by another program"). Unknown codes get a
// generic text.
const char* TransferCodeText(int code);
