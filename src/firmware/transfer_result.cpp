#include "firmware/transfer_result.h"

const char* TransferCodeText(int code) {
  switch (code) {
    case TRANSFER_OK: return "success";
    case CHANNEL_FAILED: return "the port could not be used";
    case CHANNEL_NO_SUCH_PORT: return "the port does not exist";
    case CHANNEL_PORT_BUSY: return "the port is held by another program";
    case CHANNEL_BAD_SETTINGS: return "the port refused the line settings";
    case CHANNEL_WRITE_FAILED: return "writing to the port failed";
    case CHANNEL_READ_FAILED: return "reading from the port failed";
    case TRANSFER_TIMEOUT: return "the receiver did not answer in time";
    case TRANSFER_TOO_MANY_RETRIES: return "a block was rejected 10 times";
    case TRANSFER_SOURCE_FAILED: return "the firmware file could not be read to its measured size";
    case TRANSFER_UNEXPECTED_REPLY: return "the receiver answered with an unexpected byte";
    case TRANSFER_CANCELLED: return "the receiver cancelled the transfer";
    case TRANSFER_HEADER_TOO_LONG: return "the file name is too long for the header block";
    default: return "unknown failure";
  }
}
