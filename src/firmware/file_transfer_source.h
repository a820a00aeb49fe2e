// TransferSource over an open firmware file. Before each read it writes a
// progress line "%8d bytes of %d - %3d%%\r" to its console stream (standard
// output by default, none when null).
//
// Thread contract: used by the one thread that sends.
#pragma once

#include <cstdint>
#include <cstdio>

#include "firmware/transfer_source.h"

class FileTransferSource final : public TransferSource {
 public:
  // file: opened for binary reading; not owned (the caller closes it).
  // total: the file's size in bytes as measured before the transfer.
  FileTransferSource(std::FILE* file, std::int32_t total, std::FILE* console = stdout)
      : m_pFile(file), m_nTotal(total), m_pConsole(console) {}

  // Returns the bytes read, 0 at the end of a file that had its measured
  // size, or TRANSFER_SOURCE_FAILED when the file ends early, fails to read
  // or runs past its measured size.
  int Read(BYTE* buffer, int maxBytes) override;

  std::int32_t Delivered() const { return m_nDelivered; }

 private:
  std::FILE* m_pFile;
  std::int32_t m_nTotal;
  std::int32_t m_nDelivered = 0;
  std::FILE* m_pConsole;
};
