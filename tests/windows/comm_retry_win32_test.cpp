// The port reads and writes every serial path makes (the settings exchange,
// its reader thread, the firmware channel) over a fake port whose driver
// stops on a line error, as a port opened with abort-on-error does: one
// failed read or write is acknowledged and tried again; a removed device ends
// the line at once.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "platform/serial_io.h"
#include "platform/win32_handles.h"

namespace {

using platform::win32::detail::CommCalls;
using platform::win32::detail::PortState;
using platform::win32::detail::RealCommCalls;

// The fake driver: each read or write takes the next failure code from its
// queue (0 for success); a line error stays until it is acknowledged.
struct FakeDriver {
  std::deque<DWORD> readFailures, writeFailures;
  bool stopped = false;     // a line error not yet acknowledged
  bool clearFails = false;  // the acknowledgement itself fails (device gone)
  DWORD partial = 0;        // bytes a failing read or write still moved
  int reads = 0, writes = 0, clears = 0;
  std::string incoming = "AT OK\r\n";
  std::string written;
};
FakeDriver* g_driver = nullptr;

BOOL FailWith(std::deque<DWORD>& failures) {
  if (failures.empty()) return TRUE;
  const DWORD error = failures.front();
  failures.pop_front();
  if (error == 0) return TRUE;
  if (error == ERROR_OPERATION_ABORTED) g_driver->stopped = true;
  SetLastError(error);
  return FALSE;
}

BOOL WINAPI FakeRead(HANDLE, void* buffer, DWORD toRead, DWORD* read, OVERLAPPED*) {
  ++g_driver->reads;
  *read = 0;
  if (g_driver->stopped) {
    SetLastError(ERROR_OPERATION_ABORTED);
    return FALSE;
  }
  if (!FailWith(g_driver->readFailures)) {
    const DWORD n = std::min<DWORD>(g_driver->partial, static_cast<DWORD>(g_driver->incoming.size()));
    std::memcpy(buffer, g_driver->incoming.data(), n);
    g_driver->incoming.erase(0, n);
    *read = n;
    return FALSE;
  }
  const DWORD n = std::min<DWORD>(toRead, static_cast<DWORD>(g_driver->incoming.size()));
  std::memcpy(buffer, g_driver->incoming.data(), n);
  g_driver->incoming.erase(0, n);
  *read = n;
  return TRUE;
}

BOOL WINAPI FakeWrite(HANDLE, const void* buffer, DWORD toWrite, DWORD* written, OVERLAPPED*) {
  ++g_driver->writes;
  *written = 0;
  if (g_driver->stopped) {
    SetLastError(ERROR_OPERATION_ABORTED);
    return FALSE;
  }
  if (!FailWith(g_driver->writeFailures)) {
    *written = std::min(g_driver->partial, toWrite);
    g_driver->written.append(static_cast<const char*>(buffer), *written);
    return FALSE;
  }
  g_driver->written.append(static_cast<const char*>(buffer), toWrite);
  *written = toWrite;
  return TRUE;
}

BOOL WINAPI FakeClear(HANDLE, DWORD* errors, COMSTAT* status) {
  ++g_driver->clears;
  if (g_driver->clearFails) {
    SetLastError(ERROR_DEVICE_REMOVED);
    return FALSE;
  }
  if (errors) *errors = g_driver->stopped ? CE_FRAME : 0;
  g_driver->stopped = false;
  if (status) {
    *status = COMSTAT{};
    status->cbInQue = static_cast<DWORD>(g_driver->incoming.size());
  }
  return TRUE;
}

// A port handle the layer knows, served by the fake driver for the test's life.
class FakePort : public ::testing::Test {
 protected:
  void SetUp() override {
    g_driver = &driver;
    saved = RealCommCalls();
    RealCommCalls().read = FakeRead;
    RealCommCalls().write = FakeWrite;
    RealCommCalls().clearError = FakeClear;
    platform::win32::detail::Track(port, std::make_shared<PortState>("\\\\.\\COM42"));
  }
  void TearDown() override {
    platform::win32::detail::Untrack(port);
    RealCommCalls() = saved;
    g_driver = nullptr;
  }
  BOOL Read(std::string& out) {
    char buffer[64] = {};
    DWORD got = 0;
    const BOOL ok = ReadFile(port, buffer, sizeof buffer, &got, nullptr);
    out.assign(buffer, got);
    return ok;
  }
  BOOL Write(const std::string& text) {
    DWORD done = 0;
    return WriteFile(port, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) && done == text.size();
  }

  FakeDriver driver;
  CommCalls saved;
  HANDLE port = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7E57));
};

TEST_F(FakePort, ALineErrorOnAReadOrAWriteIsAcknowledgedAndTheLineGoesOn) {
  driver.readFailures = {ERROR_OPERATION_ABORTED};
  std::string text;
  EXPECT_TRUE(Read(text)) << "error " << GetLastError();
  EXPECT_EQ(text, "AT OK\r\n");
  EXPECT_EQ(driver.clears, 1);
  EXPECT_EQ(driver.reads, 2);

  driver.writeFailures = {ERROR_OPERATION_ABORTED};
  EXPECT_TRUE(Write("at+gsn\r")) << "error " << GetLastError();
  EXPECT_EQ(driver.written, "at+gsn\r");
  EXPECT_EQ(driver.clears, 2);

  // The line goes on: later reads and writes need no acknowledgement.
  driver.incoming = "356938035643809\r\n";
  EXPECT_TRUE(Read(text));
  EXPECT_EQ(text, "356938035643809\r\n");
  EXPECT_TRUE(Write("kv+bd\r\n"));
  EXPECT_EQ(driver.clears, 2);
}

TEST_F(FakePort, ARemovedDeviceEndsTheLineWithoutARetry) {
  for (DWORD gone : {DWORD{ERROR_DEVICE_REMOVED}, DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_INVALID_HANDLE},
                     DWORD{ERROR_BAD_COMMAND}, DWORD{ERROR_GEN_FAILURE}}) {
    SCOPED_TRACE(gone);
    driver.reads = driver.writes = driver.clears = 0;
    driver.readFailures = {gone};
    driver.writeFailures = {gone};
    std::string text;
    EXPECT_FALSE(Read(text));
    EXPECT_EQ(GetLastError(), gone);
    EXPECT_FALSE(Write("at\r"));
    EXPECT_EQ(GetLastError(), gone);
    EXPECT_EQ(driver.reads, 1);
    EXPECT_EQ(driver.writes, 1);
    EXPECT_EQ(driver.clears, 0);
  }
}

TEST_F(FakePort, OnlyOneRetry) {
  // A second failure after the acknowledgement, or an acknowledgement that
  // fails, is a lost line.
  driver.readFailures = {ERROR_OPERATION_ABORTED, ERROR_OPERATION_ABORTED, 0};
  std::string text;
  EXPECT_FALSE(Read(text));
  EXPECT_EQ(driver.reads, 2);

  driver.stopped = false;
  driver.clearFails = true;
  driver.writeFailures = {ERROR_OPERATION_ABORTED};
  EXPECT_FALSE(Write("at\r"));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_OPERATION_ABORTED});
  EXPECT_EQ(driver.writes, 1);
}

TEST_F(FakePort, BytesMovedBeforeTheLineErrorAreNeitherLostNorSentTwice) {
  driver.partial = 3;
  driver.writeFailures = {ERROR_OPERATION_ABORTED};
  EXPECT_TRUE(Write("at+gsn\r"));
  EXPECT_EQ(driver.written, "at+gsn\r");
  driver.readFailures = {ERROR_OPERATION_ABORTED};
  std::string text;
  EXPECT_TRUE(Read(text));
  EXPECT_EQ(text, "AT OK\r\n");
}

TEST_F(FakePort, TheWaitForAReplySurvivesALineError) {
  // The firmware channel waits for the receiver's answer on the port itself.
  driver.incoming.clear();
  driver.stopped = true;  // a framing error arrived while nothing was read
  driver.incoming = "C";
  EXPECT_EQ(platform::WaitCommReadable(port, 50), 1);
  std::string text;
  EXPECT_TRUE(Read(text));
  EXPECT_EQ(text, "C");
}

}  // namespace
