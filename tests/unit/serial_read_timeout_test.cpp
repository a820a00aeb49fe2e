#include <gtest/gtest.h>

#include "platform/serial_io.h"
#include "sim_line.h"

namespace {

// A raw port with nothing to read must time out, not look like a lost line;
// once the other end goes away the read must fail.
TEST(SerialRead, EmptyRawLineTimesOutAndLostLineFails) {
  sim::SimLine line;
  ASSERT_TRUE(line.Open({}));
  HANDLE port = CreateFileA(line.PortPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port, &dcb));
  dcb.BaudRate = 115200;
  ASSERT_TRUE(SetCommState(port, &dcb));
  COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 20, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port, &timeouts));

  char buffer[16];
  DWORD got = 99;
  EXPECT_TRUE(ReadFile(port, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(got, 0u);

  line.Send("OK\r\n");
  EXPECT_TRUE(ReadFile(port, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "OK\r\n");

  line.Close();
  EXPECT_FALSE(ReadFile(port, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(got, 0u);
  CloseHandle(port);
}

}  // namespace
