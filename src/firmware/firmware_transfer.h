// The firmware transfer as one GUI-free engine: open the port, configure it,
// measure the image file and send it with the YMODEM sender. The main
// window's update thread drives it now, the terminal program later.
//
// Both functions return 0 when the image went out completely and 1 on any
// failure. The optional report says where and why a transfer ended, for the
// terminal program and logs; the window shows only its fixed texts.
//
// Thread contract: everything runs on the calling thread; the progress sink
// is called synchronously on it (see ymodem_sender.h for its arguments).
#pragma once

#include <cstdio>
#include <string>

#include "firmware/comm_channel.h"
#include "firmware/ymodem_sender.h"

constexpr DWORD FIRMWARE_BAUD_RATE = 115200;
constexpr DWORD FIRMWARE_START_WAIT_MS = 30000;

// The step at which a transfer ended.
enum class FirmwareStep {
  OpenPort,       // the channel could not open the port
  ConfigurePort,  // the port refused its settings
  OpenFile,       // the image is not a readable regular file
  MeasureFile,    // the image's size could not be measured
  FileTooLarge,   // the image is 2 GiB or more: its size does not fit the header's field
  Transfer,       // the YMODEM batch ended with a code
  Done,           // the image went out completely
};

struct FirmwareTransferReport {
  FirmwareStep step = FirmwareStep::OpenPort;
  int code = TRANSFER_OK;  // the channel's or the sender's code, or TRANSFER_SOURCE_FAILED for file steps
};

// Sends the image at path over a configured channel. Writes "Sending %s...\n"
// before and "\nSent OK\n" after a success to console (standard output by
// default, nothing when null), with the file source's progress lines between.
int SendFirmwareFile(CommChannel& channel, const char* path, const TransferProgressSink& progress,
                     FirmwareTransferReport* report = nullptr, std::FILE* console = stdout);

// Opens portName at 115200 baud 8N1 through a SerialChannel, sends the image
// and closes the port again on every path.
int RunFirmwareTransfer(const char* portName, const char* path,
                        const TransferProgressSink& progress,
                        FirmwareTransferReport* report = nullptr, std::FILE* console = stdout);

// One line for a log or the terminal program, e.g. "ttyUSB0: sending the
// image failed (-200: the receiver did not answer in time)".
std::string DescribeFirmwareTransfer(const char* portName, const FirmwareTransferReport& report);
