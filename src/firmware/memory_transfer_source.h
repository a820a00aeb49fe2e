// TransferSource over an image already held in memory: what is sent is
// exactly the bytes that were read (and hashed) once, whatever happens to the
// file on the disk meanwhile.
//
// Thread contract: used by the one thread that sends; several sources may
// read the same bytes at once (they are never changed).
#pragma once

#include <cstddef>
#include <string_view>

#include "firmware/transfer_source.h"

class MemoryTransferSource final : public TransferSource {
 public:
  // `bytes` must outlive the source.
  explicit MemoryTransferSource(std::string_view bytes) : m_bytes(bytes) {}

  // The next bytes (at most maxBytes), 0 at the end, TRANSFER_SOURCE_FAILED
  // for a buffer of no room.
  int Read(BYTE* buffer, int maxBytes) override;

 private:
  std::string_view m_bytes;
  std::size_t m_nDelivered = 0;
};
