// The main window's reader: reads what the tracker sends every 300 ms,
// assembles it into lines in g_rxBuffer and reacts to three answers: the
// IMEI, the boot loader's file prompt and "Get data OK".
//
// Thread contract: the GUI thread owns a ReaderLink and shares it with the
// reader thread through a shared_ptr, so the link outlives whichever of the
// two ends last. The GUI thread writes the flags and the file-wait event; the
// reader only reads them. The IMEI and line-lost callbacks run on the reader
// thread and must hand their news to the GUI thread themselves (a queued
// call), never block.
//
// A line that goes away under the reader (its device removed, the line hung
// up, a failed query, read or write) ends the reader: it reports onLineLost
// once and stops reading, so a pulled cable is never polled as if silent.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "common/tool_timings.h"
#include "platform/sync.h"

constexpr std::size_t RX_BUFFER_SIZE = 4096;

// The receive buffer of the main reader (one reader at a time fills it).
extern char g_rxBuffer[RX_BUFFER_SIZE];

class ReaderLink {
 public:
  std::atomic<BYTE> m_bReaderRunning{0};
  std::atomic<BYTE> m_bReaderPaused{0};

  // The reader's own reference to the port it reads and answers on; set by
  // StartReaderThread and closed by the reader when it ends.
  HANDLE port = INVALID_HANDLE_VALUE;
  // Receives each IMEI the parser finds (on the reader thread).
  std::function<void(const std::string&)> onImei;
  // Called once, on the reader thread, when the line went away; the reader
  // then ends by itself.
  std::function<void()> onLineLost;
  // Set when an answer written by the parser ("kv+bd\r\n") did not go out.
  std::atomic<bool> writeFailed{false};

  // The Update hand-off's event. Set and cleared by the GUI thread; the
  // reader signals it under the same lock, so a cleared event is never used.
  void SetFileWaitEvent(HANDLE event);
  void SignalFileWait();

 private:
  std::mutex eventLock_;
  HANDLE m_hFileWaitEvent = nullptr;
};

// Thread routine: `param` is a std::shared_ptr<ReaderLink>* allocated with
// new; the thread deletes it when it ends. Returns 1.
DWORD ReaderThreadProc(void* param);

// Starts the reader on `port` (the thread keeps its own reference to it).
// The caller sets m_bReaderRunning to 1 first. Returns the thread handle.
HANDLE StartReaderThread(const std::shared_ptr<ReaderLink>& link, HANDLE port);

// Parses the received text (NUL-terminated, `length` bytes) and returns the
// number of bytes after the last line feed (the whole length without one).
DWORD ParseReaderText(char* text, DWORD length, ReaderLink& link);
