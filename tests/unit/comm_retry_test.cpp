// The decision behind every serial read and write on Windows: a line error
// (the driver stopped after a bad byte) is acknowledged and the call tried
// once more; a device that is gone ends the line at once.
#include <gtest/gtest.h>

#include <vector>

#include "platform/comm_retry.h"

namespace {

constexpr DWORD kAborted = 995, kDeviceRemoved = 1617, kBadCommand = 22;

// A call that fails with the listed errors in turn (0: succeeds).
struct ScriptedCall {
  std::vector<DWORD> results;
  std::size_t calls = 0;
  BOOL operator()() {
    const DWORD error = calls < results.size() ? results[calls] : 0;
    ++calls;
    if (error == 0) return TRUE;
    SetLastError(error);
    return FALSE;
  }
};

TEST(CommRetry, ALineErrorIsAcknowledgedAndTriedOnceMore) {
  ScriptedCall call{{kAborted, 0}};
  int clears = 0;
  EXPECT_TRUE(platform::CallRetryingAfterLineError(std::ref(call), [&] { return ++clears, TRUE; }));
  EXPECT_EQ(call.calls, 2u);
  EXPECT_EQ(clears, 1);

  ScriptedCall twice{{kAborted, kAborted, 0}};
  EXPECT_FALSE(platform::CallRetryingAfterLineError(std::ref(twice), [] { return TRUE; }));
  EXPECT_EQ(twice.calls, 2u);
  EXPECT_EQ(GetLastError(), kAborted);
}

TEST(CommRetry, AGoneDeviceOrAFailedAcknowledgementEndsTheLine) {
  for (DWORD gone : {kDeviceRemoved, kBadCommand, DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_INVALID_HANDLE},
                     DWORD{ERROR_FILE_NOT_FOUND}, DWORD{ERROR_GEN_FAILURE}}) {
    ScriptedCall call{{gone, 0}};
    int clears = 0;
    EXPECT_FALSE(platform::CallRetryingAfterLineError(std::ref(call), [&] { return ++clears, TRUE; })) << gone;
    EXPECT_EQ(call.calls, 1u) << gone;
    EXPECT_EQ(clears, 0) << gone;
    EXPECT_EQ(GetLastError(), gone);
  }
  ScriptedCall call{{kAborted, 0}};
  EXPECT_FALSE(platform::CallRetryingAfterLineError(std::ref(call), [] {
    SetLastError(kDeviceRemoved);
    return FALSE;
  }));
  EXPECT_EQ(call.calls, 1u);
  EXPECT_EQ(GetLastError(), kAborted) << "the read's own error is the one reported";
}

TEST(CommRetry, OnlyErrorsOfAGoneDeviceCountAsALostLine) {
  EXPECT_FALSE(platform::CommErrorMeansDeviceGone(kAborted));
  EXPECT_FALSE(platform::CommErrorMeansDeviceGone(ERROR_SUCCESS));
  EXPECT_FALSE(platform::CommErrorMeansDeviceGone(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(platform::CommErrorMeansDeviceGone(kDeviceRemoved));
}

}  // namespace
