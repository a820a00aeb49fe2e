// A CommChannel with no line behind it: reads take bytes from a queue the test
// fills (an empty queue reads as a time-out at once), writes are recorded and
// may be cut short, and a hook reacts to each write like a receiver would.
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "firmware/comm_channel.h"

namespace kvtest {

class ScriptedChannel final : public CommChannel {
 public:
  int Open(const char*) override { return TRANSFER_OK; }
  int Configure(DWORD) override { return TRANSFER_OK; }
  int Write(const void* buffer, int count, DWORD) override {
    if (acceptNothing) return 0;
    const int n = count < maxWrite ? count : maxWrite;
    const auto* p = static_cast<const unsigned char*>(buffer);
    written.insert(written.end(), p, p + n);
    writeSizes.push_back(n);
    if (onWrite) onWrite(*this, std::vector<unsigned char>(p, p + n));
    return n;
  }
  int Read(void* buffer, int count, DWORD timeoutMs) override {
    readTimeouts.push_back(timeoutMs);
    if (beforeRead) beforeRead(*this, timeoutMs);
    if (readError != 0) return readError;
    if (input.empty() || count <= 0) return 0;
    *static_cast<unsigned char*>(buffer) = input.front();
    input.pop_front();
    return 1;
  }
  void Close() override {}

  void Queue(std::initializer_list<unsigned char> bytes) { input.insert(input.end(), bytes); }

  std::deque<unsigned char> input;
  std::vector<unsigned char> written;
  std::vector<int> writeSizes;
  std::vector<DWORD> readTimeouts;
  int maxWrite = 1 << 30;
  bool acceptNothing = false;
  int readError = 0;
  std::function<void(ScriptedChannel&, const std::vector<unsigned char>&)> onWrite;
  std::function<void(ScriptedChannel&, DWORD timeoutMs)> beforeRead;
};

}  // namespace kvtest
