// The firmware image as the transfer takes it: opened, checked to be a
// regular file, measured, and given the name its header block carries, all
// before anything is sent to the tracker. The terminal program opens the
// image before it switches the tracker into its boot loader, so a file that
// cannot be sent is refused while the tracker is still in its menu.
//
// Header name: on Windows the chosen path as it is (the header lowers A-Z and
// turns "\" into "/", giving c:/work/new.bin). On POSIX the full path without
// its leading slashes (/home/me/fw/kv770.bin goes as home/me/fw/kv770.bin,
// the analogue of the drive-letter form): receivers take a name that starts
// with "/" for an attempt to write outside their folder and cancel. A
// relative path is made absolute first, with "." and ".." folded away, so
// both programs send the same kind of name.
//
// Thread contract: none; an image belongs to the thread that sends it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "firmware/transfer_result.h"

// The step at which a transfer ended.
enum class FirmwareStep {
  OpenPort,       // the channel could not open the port
  ConfigurePort,  // the port refused its settings
  OpenFile,       // the image is not a readable regular file
  MeasureFile,    // the image's size could not be measured
  FileTooLarge,   // the image is 2 GiB or more: its size does not fit the header's field
  NameTooLong,    // the image's name and size do not fit into the header block
  ReadImage,      // the image could not be read whole into memory, or changed size meanwhile
  Transfer,       // the YMODEM batch ended with a code
  Done,           // the image went out completely
};

struct FirmwareTransferReport {
  FirmwareStep step = FirmwareStep::OpenPort;
  int code = TRANSFER_OK;  // the channel's or the sender's code, or TRANSFER_SOURCE_FAILED for file steps
  int systemError = 0;     // errno of a file step that the system refused (0: none)
};

struct FirmwareFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

struct FirmwareImage {
  std::string path;                                     // as chosen
  std::unique_ptr<std::FILE, FirmwareFileCloser> file;  // open for binary reading, at its start
  std::int32_t size = 0;                                // measured when opened
  std::string headerName;                               // the name block 0 carries (before lowering)
  // After LoadFirmwareImage: the whole image, read once (the file is closed
  // then). A loaded image is sent from these bytes, never from the disk.
  std::string bytes;
  bool loaded = false;
};

// The name the header block carries for `path` (see above).
std::string FirmwareHeaderName(const std::string& path);

// Opens and measures the image at `path` and checks that its name and size
// fit the header block. Returns true with `image` ready to send; false with
// `report` saying which file step failed (OpenFile, MeasureFile, FileTooLarge
// or NameTooLong) and why.
bool OpenFirmwareImage(const char* path, FirmwareImage& image, FirmwareTransferReport* report);

// Reads the opened image whole into `image.bytes` and closes its file, so
// that what is sent (and hashed for a log) is one copy that a later change
// of the file on the disk cannot touch. False with `report` at ReadImage when
// the file cannot be read, no longer has its measured size, or does not fit
// into memory.
bool LoadFirmwareImage(FirmwareImage& image, FirmwareTransferReport* report);

// Why a file step failed, in a few words ("no such file or directory", "not a
// regular file", "the name is too long for the header block", "it changed
// size while it was read").
std::string FirmwareFileProblem(const FirmwareTransferReport& report);
