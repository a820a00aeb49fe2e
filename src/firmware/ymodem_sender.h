// The sending side of a YMODEM batch of one file, over a CommChannel.
//
// On the wire: the receiver's start character ("C": CRC-16 with an ACK per
// block, NAK: 8-bit checksum with an ACK per block, "G": CRC-16 streamed);
// block 0 as a 1024-byte STX block carrying the name and the decimal size;
// every full 1024-byte chunk of the data as one STX block, a shorter last
// chunk as 128-byte SOH blocks padded with 0x1A; EOT; after the receiver's
// next start character the closing block 0 of 1024 zero bytes. A wrong reply
// makes the sender wait for 500 ms of silence and send the block again (10
// transmissions at most); no reply within 3000 ms ends the transfer. The
// sender never sends CAN.
//
// Progress: after each 1024-byte chunk has been acknowledged, and once more
// after the EOT, the progress sink gets (chunkCount, sizeKib): chunkCount
// counts the calls from 1, sizeKib is the announced size shifted right by 10
// bits. A file of S bytes gives chunkCount 1 to ceil(S / 1024) + 1 against a
// sizeKib of floor(S / 1024), so the count overshoots sizeKib by one or two
// and sizeKib is 0 for a file under 1 KiB: a view should show the bar full
// once chunkCount reaches sizeKib (or at the last call), and never divide by
// sizeKib.
//
// Phases: the phase sink hears when the receiver's start character came
// (ReceiverReady, block 0 goes out next) and when the first data block is
// about to go out (DataStarted, after the receiver's pause between block 0
// and its next start character), so a rate can be counted from the data
// alone.
//
// Thread contract: everything runs on the calling thread and blocks until
// done; the progress and phase sinks are called synchronously on that thread.
#pragma once

#include <cstdint>
#include <functional>

#include "firmware/comm_channel.h"
#include "firmware/transfer_source.h"

using TransferProgressSink = std::function<void(WPARAM chunkCount, LPARAM sizeKib)>;

enum class TransferPhase { ReceiverReady, DataStarted };
using TransferPhaseSink = std::function<void(TransferPhase)>;

class YmodemSender {
 public:
  static constexpr BYTE SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18, PAD = 0x1A,
                        START_CRC = 'C', START_STREAMING = 'G';
  // The payload of an SOH block and of an STX (1K) block.
  static constexpr int BLOCK_SIZE = 128;
  static constexpr int BLOCK_1K_SIZE = 1024;
  static constexpr int HEADER_SIZE = BLOCK_1K_SIZE;
  static constexpr int CHUNK_SIZE = BLOCK_1K_SIZE;
  // Start byte, block number and its complement, payload, CRC-16.
  static constexpr int MAX_FRAME = 3 + BLOCK_1K_SIZE + 2;
  static constexpr int MAX_TRANSMISSIONS = 10;
  static constexpr DWORD MIN_START_WAIT_MS = 11000;
  static constexpr DWORD START_POLL_MS = 10;
  static constexpr DWORD REPLY_WAIT_MS = 3000;
  static constexpr DWORD QUIET_BEFORE_RESEND_MS = 500;
  static constexpr DWORD WRITE_TIMEOUT_MS = 1000;
  static constexpr DWORD NEXT_START_WAIT_MS = 11000;

  explicit YmodemSender(CommChannel* channel) : m_pChannel(channel) {}

  void SetProgressSink(TransferProgressSink sink) { m_progress = std::move(sink); }
  void SetPhaseSink(TransferPhaseSink sink) { m_phase = std::move(sink); }

  // One byte through the channel: 0..255, TRANSFER_TIMEOUT, or the channel's code.
  int ReadByte(DWORD timeoutMs);
  // Sorts a ReadByte result: negative unchanged; 1 for ACK; 0 for any other
  // byte and for a first CAN; TRANSFER_CANCELLED for the second CAN in a row.
  int ClassifyReply(int r);
  // Drains stale input, then waits for "C", NAK or "G" (at least 11000 ms,
  // charged 10 ms per read). Sets the modes from it.
  int WaitForStart(DWORD budgetMs);
  // Sends one block from the front of data (EOT when length is 0) until it is
  // acknowledged; returns the number of data bytes it carried or a code.
  int SendBlock(const BYTE* data, DWORD length);
  // Sends all length bytes as blocks (EOT when length is 0): 0 or a code.
  int SendBytes(const BYTE* data, DWORD length);
  // Sends everything the source delivers, then EOT: 0 or a code. A source that
  // ends before, or runs past, the announced size gives TRANSFER_SOURCE_FAILED
  // and no EOT.
  int SendData(TransferSource& source);
  // The 1024-byte payload of block 0: name (A-Z lowered, "\" turned into
  // "/"), NUL, decimal size, zeros. 0 or TRANSFER_HEADER_TOO_LONG.
  static int BuildHeader(BYTE* buffer, const char* name, DWORD size);
  // The whole batch: 0 or a code.
  int SendBatch(const char* name, DWORD size, TransferSource& source, DWORD startWaitMs);

  bool CrcMode() const { return m_bCrcMode; }
  bool AcknowledgedMode() const { return m_bAcknowledged; }
  int StartChar() const { return m_nStartChar; }

 private:
  // Frame for the first n bytes of data in a block of blockSize; returns its length.
  int BuildFrame(BYTE* frame, const BYTE* data, DWORD n, DWORD blockSize) const;
  // Writes a whole frame: 0 when it went out, 1 when a reply seen between
  // partial writes asks for a retransmission, or a negative code.
  int WriteFrame(const BYTE* frame, int length);
  // Discards input until the line has been silent for 500 ms.
  void WaitForQuietLine();
  // The receiver's start character after block 0 and after EOT.
  bool IsStartCharacter(int r) const;
  // The reply after block 0: a byte already taken by the streaming look at the
  // line right after the block counts as that reply.
  int ReadStartAfterHeader();

  CommChannel* m_pChannel;
  TransferProgressSink m_progress;
  TransferPhaseSink m_phase;
  std::uint32_t m_nFileSize = 0;
  std::uint32_t m_nBlockNumber = 0;
  bool m_bCrcMode = true;
  bool m_bAcknowledged = true;
  bool m_b1KAllowed = false;
  int m_nStartChar = 0;
  int m_nCanCount = 0;
  // Set by a streamed block when the look at the line took a byte other than
  // CAN (-1: none).
  int m_nStreamedReply = -1;
  std::uint32_t m_nDelivered = 0;
  BYTE m_header[HEADER_SIZE] = {};
  BYTE m_chunk[CHUNK_SIZE] = {};
};
