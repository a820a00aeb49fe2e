#include "firmware/file_transfer_source.h"

#include "firmware/transfer_result.h"

int FileTransferSource::Read(BYTE* buffer, int maxBytes) {
  if (m_pConsole != nullptr) {
    const std::uint64_t percent =
        m_nTotal > 0 ? static_cast<std::uint64_t>(m_nDelivered) * 100u / static_cast<std::uint64_t>(m_nTotal) : 0;
    std::fprintf(m_pConsole, "%8d bytes of %d - %3d%%\r", m_nDelivered, m_nTotal, static_cast<int>(percent));
    std::fflush(m_pConsole);
  }
  if (maxBytes <= 0) return TRANSFER_SOURCE_FAILED;
  const std::size_t n = std::fread(buffer, 1, static_cast<std::size_t>(maxBytes), m_pFile);
  if (n == 0) return m_nDelivered == m_nTotal ? 0 : TRANSFER_SOURCE_FAILED;
  // A file that grew after it was measured no longer matches the size in the
  // header block; sending on would hand the receiver a cut image.
  if (static_cast<std::int64_t>(m_nDelivered) + static_cast<std::int64_t>(n) > m_nTotal) return TRANSFER_SOURCE_FAILED;
  m_nDelivered += static_cast<std::int32_t>(n);
  return static_cast<int>(n);
}
