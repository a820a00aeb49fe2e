#include "firmware/memory_transfer_source.h"

#include <algorithm>
#include <cstring>

#include "firmware/transfer_result.h"

int MemoryTransferSource::Read(BYTE* buffer, int maxBytes) {
  if (maxBytes <= 0) return TRANSFER_SOURCE_FAILED;
  const std::size_t n = std::min(static_cast<std::size_t>(maxBytes), m_bytes.size() - m_nDelivered);
  if (n > 0) std::memcpy(buffer, m_bytes.data() + m_nDelivered, n);
  m_nDelivered += n;
  return static_cast<int>(n);
}
