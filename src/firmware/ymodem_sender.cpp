#include "firmware/ymodem_sender.h"

#include <cstring>

#include "firmware/crc16.h"

int YmodemSender::ReadByte(DWORD timeoutMs) {
  BYTE b = 0;
  const int n = m_pChannel->Read(&b, 1, timeoutMs);
  if (n < 0) return n;
  if (n == 0) return TRANSFER_TIMEOUT;
  return b;
}

int YmodemSender::ClassifyReply(int r) {
  if (r < 0) return r;
  if (r == CAN) {
    if (m_nCanCount != 0) {
      ++m_nCanCount;
      return TRANSFER_CANCELLED;
    }
    m_nCanCount = 1;
    return 0;
  }
  m_nCanCount = 0;
  return r == ACK ? 1 : 0;
}

int YmodemSender::WaitForStart(DWORD budgetMs) {
  if (budgetMs < MIN_START_WAIT_MS) budgetMs = MIN_START_WAIT_MS;
  // The end of the boot loader's text may still be in the buffer; none of it
  // counts as a start character.
  while (ReadByte(0) >= 0) {
  }
  m_nCanCount = 0;
  int r = ReadByte(START_POLL_MS);
  for (;;) {
    switch (r) {
      case START_STREAMING:
        m_bCrcMode = true;
        m_bAcknowledged = false;
        m_nStartChar = START_STREAMING;
        return TRANSFER_OK;
      case START_CRC:
        m_bCrcMode = true;
        m_bAcknowledged = true;
        m_nStartChar = START_CRC;
        return TRANSFER_OK;
      case NAK:
        m_bCrcMode = false;
        m_bAcknowledged = true;
        m_nStartChar = NAK;
        return TRANSFER_OK;
      default: break;
    }
    if (r < 0 && r != TRANSFER_TIMEOUT) return r;
    // Every read is charged its full 10 ms, whether or not a byte came, so a
    // line that chatters without a start character still ends the wait.
    if (budgetMs < START_POLL_MS) return TRANSFER_TIMEOUT;
    budgetMs -= START_POLL_MS;
    r = ReadByte(START_POLL_MS);
  }
}

int YmodemSender::BuildFrame(BYTE* frame, const BYTE* data, DWORD n, DWORD blockSize) const {
  frame[0] = blockSize == BLOCK_1K_SIZE ? STX : SOH;
  frame[1] = static_cast<BYTE>(m_nBlockNumber & 0xFF);
  frame[2] = static_cast<BYTE>(255 - frame[1]);
  BYTE* payload = frame + 3;
  std::memcpy(payload, data, n);
  std::memset(payload + n, PAD, blockSize - n);
  if (m_bCrcMode) {
    const std::uint16_t crc = Crc16Xmodem(payload, blockSize);
    payload[blockSize] = static_cast<BYTE>(crc >> 8);
    payload[blockSize + 1] = static_cast<BYTE>(crc & 0xFF);
    return static_cast<int>(3 + blockSize + 2);
  }
  BYTE sum = 0;
  for (DWORD i = 0; i < blockSize; ++i) sum = static_cast<BYTE>(sum + payload[i]);
  payload[blockSize] = sum;
  return static_cast<int>(3 + blockSize + 1);
}

int YmodemSender::WriteFrame(const BYTE* frame, int length) {
  int pos = 0;
  while (pos < length) {
    const int written = m_pChannel->Write(frame + pos, length - pos, WRITE_TIMEOUT_MS);
    if (written < 0) return written;
    if (written == 0) return TRANSFER_TIMEOUT;
    pos += written;
    if (pos < length) {
      // The line took part of the frame: look for a reply before writing on.
      const int c = ClassifyReply(ReadByte(START_POLL_MS));
      if (c == TRANSFER_TIMEOUT || c == 1) continue;
      if (c < 0) return c;
      return 1;
    }
  }
  return 0;
}

void YmodemSender::WaitForQuietLine() {
  while (ReadByte(QUIET_BEFORE_RESEND_MS) >= 0) {
  }
}

int YmodemSender::SendBlock(const BYTE* data, DWORD length) {
  int sendsLeft = MAX_TRANSMISSIONS;
  bool awaitAck = m_bAcknowledged;
  BYTE frame[MAX_FRAME];
  int frameLength = 1;
  const DWORD blockSize = (m_b1KAllowed && length >= BLOCK_1K_SIZE) ? BLOCK_1K_SIZE : BLOCK_SIZE;
  const DWORD n = length < blockSize ? length : blockSize;
  if (n == 0) {
    frame[0] = EOT;
    awaitAck = true;  // the EOT is acknowledged in streaming mode too
  } else {
    frameLength = BuildFrame(frame, data, n, blockSize);
  }
  for (;;) {
    if (sendsLeft == 0) return TRANSFER_TOO_MANY_RETRIES;
    --sendsLeft;
    const int wrote = WriteFrame(frame, frameLength);
    if (wrote < 0) return wrote;
    if (wrote == 0) {
      if (!awaitAck) {
        const int r = ReadByte(0);
        const int c = ClassifyReply(r);
        if (c < 0 && c != TRANSFER_TIMEOUT) return c;
        if (r >= 0 && r != CAN) m_nStreamedReply = r;
        break;
      }
      const int r = ReadByte(REPLY_WAIT_MS);
      const int c = ClassifyReply(r);
      if (c < 0) return c;  // no reply within 3000 ms ends the transfer
      if (c == 1) break;
      if (r == START_CRC && !m_bCrcMode) {
        // The receiver asks for CRC: the same block again with the CRC
        // trailer, from now on.
        m_bCrcMode = true;
        if (n != 0) frameLength = BuildFrame(frame, data, n, blockSize);
        continue;
      }
    }
    WaitForQuietLine();
  }
  ++m_nBlockNumber;
  return static_cast<int>(n);
}

int YmodemSender::SendBytes(const BYTE* data, DWORD length) {
  DWORD sent = 0;
  do {
    const int r = SendBlock(data + sent, length - sent);
    if (r < 0) return r;
    sent += static_cast<DWORD>(r);
  } while (sent < length);
  return TRANSFER_OK;
}

int YmodemSender::SendData(TransferSource& source) {
  if (m_phase) m_phase(TransferPhase::DataStarted);
  m_nBlockNumber = 1;
  m_nDelivered = 0;
  WPARAM chunkCount = 0;
  for (;;) {
    const int a = source.Read(m_chunk, CHUNK_SIZE);
    // A source that hands out more than asked, or whose data does not add up
    // to the announced size, would leave the receiver a wrong image.
    if (a < 0 || a > CHUNK_SIZE) return TRANSFER_SOURCE_FAILED;
    if (a == 0 && m_nDelivered != m_nFileSize) return TRANSFER_SOURCE_FAILED;
    if (static_cast<std::uint64_t>(m_nDelivered) + static_cast<std::uint64_t>(a) > m_nFileSize)
      return TRANSFER_SOURCE_FAILED;
    m_nDelivered += static_cast<std::uint32_t>(a);
    const int r = SendBytes(m_chunk, static_cast<DWORD>(a));
    if (r < 0) return r;
    ++chunkCount;
    if (m_progress) m_progress(chunkCount, static_cast<LPARAM>(m_nFileSize >> 10));
    if (a == 0) return TRANSFER_OK;
  }
}

int YmodemSender::BuildHeader(BYTE* buffer, const char* name, DWORD size) {
  constexpr int kLimit = HEADER_SIZE - 1;  // byte 1023 is never written
  std::memset(buffer, 0, HEADER_SIZE);
  int pos = 0;
  const char* p = name ? name : "";
  while (pos < kLimit) {
    const BYTE b = static_cast<BYTE>(*p++);
    BYTE out = b;
    if (b >= 'A' && b <= 'Z') out = static_cast<BYTE>(b - 'A' + 'a');
    else if (b == '\\') out = '/';
    buffer[pos++] = out;
    if (b == 0) break;
  }
  char digits[16];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + size % 10);
    size /= 10;
  } while (size != 0);
  while (count > 0 && pos < kLimit) buffer[pos++] = static_cast<BYTE>(digits[--count]);
  return pos < kLimit ? TRANSFER_OK : TRANSFER_HEADER_TOO_LONG;
}

bool YmodemSender::IsStartCharacter(int r) const {
  // A receiver that started with NAK and then asked for CRC with "C" goes on
  // asking with "C".
  return r == m_nStartChar || (r == START_CRC && m_nStartChar == NAK && m_bCrcMode);
}

int YmodemSender::ReadStartAfterHeader() {
  if (m_nStreamedReply >= 0) {
    const int r = m_nStreamedReply;
    m_nStreamedReply = -1;
    return r;
  }
  return ReadByte(NEXT_START_WAIT_MS);
}

int YmodemSender::SendBatch(const char* name, DWORD size, TransferSource& source, DWORD startWaitMs) {
  m_b1KAllowed = true;
  m_nFileSize = size;
  int r = BuildHeader(m_header, name, size);
  if (r < 0) return r;
  r = WaitForStart(startWaitMs);
  if (r < 0) return r;
  if (m_phase) m_phase(TransferPhase::ReceiverReady);

  m_nBlockNumber = 0;
  m_nStreamedReply = -1;
  r = SendBlock(m_header, HEADER_SIZE);
  if (r < 0) return r;
  r = ReadStartAfterHeader();
  if (r < 0) return r;
  if (!IsStartCharacter(r)) return TRANSFER_UNEXPECTED_REPLY;

  r = SendData(source);
  if (r < 0) return r;
  r = ReadByte(NEXT_START_WAIT_MS);
  if (r < 0) return r;
  if (!IsStartCharacter(r)) return TRANSFER_UNEXPECTED_REPLY;

  std::memset(m_header, 0, HEADER_SIZE);
  m_nBlockNumber = 0;
  r = SendBlock(m_header, HEADER_SIZE);
  return r < 0 ? r : TRANSFER_OK;
}
