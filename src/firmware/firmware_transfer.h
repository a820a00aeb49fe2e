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

#include "common/tool_timings.h"
#include "firmware/comm_channel.h"
#include "firmware/firmware_image.h"
#include "firmware/ymodem_sender.h"

// What a caller may watch during a transfer: the chunk progress of the
// window's bar and the sender's phases (ymodem_sender.h). Either may be empty.
struct FirmwareObserver {
  TransferProgressSink progress;
  TransferPhaseSink phase;
};

// Sends the image at path over a configured channel; the header block carries
// FirmwareHeaderName(path). Writes "Sending %s...\n"
// before and "\nSent OK\n" after a success to console (standard output by
// default, nothing when null), with the file source's progress lines between.
int SendFirmwareFile(CommChannel& channel, const char* path, const TransferProgressSink& progress,
                     FirmwareTransferReport* report = nullptr, std::FILE* console = stdout);

// Opens portName at 115200 baud 8N1 through a SerialChannel, sends the image
// and closes the port again on every path.
int RunFirmwareTransfer(const char* portName, const char* path, const TransferProgressSink& progress,
                        FirmwareTransferReport* report = nullptr, std::FILE* console = stdout);

// The same for an image opened beforehand (OpenFirmwareImage), which is read
// from its start, or sent from its bytes once loaded (LoadFirmwareImage; the
// image is then only read, so several transfers may share it); without
// console lines.
int SendFirmwareImage(CommChannel& channel, FirmwareImage& image, const FirmwareObserver& observer,
                      FirmwareTransferReport* report = nullptr);
int RunFirmwareTransfer(const char* portName, FirmwareImage& image, const FirmwareObserver& observer,
                        FirmwareTransferReport* report = nullptr);

// One line for a log or the terminal program, e.g. "ttyUSB0: sending the
// image failed (-200: the receiver did not answer in time)".
std::string DescribeFirmwareTransfer(const char* portName, const FirmwareTransferReport& report);
