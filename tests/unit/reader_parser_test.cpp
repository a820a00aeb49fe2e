// The main reader's text rules: IMEI extraction, the file prompt, "Get data
// OK", and the tail that survives a cycle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/reader.h"

namespace {

struct ParsedText {
  std::vector<std::string> imeis;
  DWORD tail = 0;
};

ParsedText Parse(std::string text, ReaderLink& link) {
  ParsedText result;
  link.onImei = [&](const std::string& imei) { result.imeis.push_back(imei); };
  text.push_back('\0');
  result.tail = ParseReaderText(text.data(), static_cast<DWORD>(text.size() - 1), link);
  return result;
}

ParsedText Parse(const std::string& text) {
  ReaderLink link;  // no port: the "Get data OK" answer has nowhere to go
  return Parse(text, link);
}

TEST(ReaderImei, FifteenDigitsAfterEchoAreTaken) {
  const auto r = Parse("at+gsn\r\r\n356938035643809\r\n\r\nOK\r\n");
  ASSERT_EQ(r.imeis.size(), 1u);
  EXPECT_EQ(r.imeis[0], "356938035643809");
  EXPECT_EQ(r.tail, 0u);
}

TEST(ReaderImei, SecondEchoGetsAChanceThirdDoesNot) {
  // First echo answered with ERROR: the second echo's digits count.
  auto r = Parse("at+gsn\r\r\nERROR\r\nat+gsn\r\r\n111222333444555\r\n");
  ASSERT_EQ(r.imeis.size(), 1u);
  EXPECT_EQ(r.imeis[0], "111222333444555");
  // Only the third echo carries digits: nothing is taken.
  r = Parse("at+gsn\r\r\nERROR\r\nat+gsn\r\r\nERROR\r\nat+gsn\r\r\n111222333444555\r\n");
  EXPECT_TRUE(r.imeis.empty());
}

TEST(ReaderImei, NoCarriageReturnInRangeChangesNothing) {
  EXPECT_TRUE(Parse("at+gsn\r\r\n35693803564").imeis.empty());  // unfinished answer
  EXPECT_TRUE(Parse("at+gsn\r\r\n" + std::string(64, '7') + "\r\n").imeis.empty());
  const auto r = Parse("at+gsn\r\r\n" + std::string(63, '7') + "\r\n");
  ASSERT_EQ(r.imeis.size(), 1u);
  EXPECT_EQ(r.imeis[0].size(), 63u);
}

TEST(ReaderImei, AnswerMustStartWithADigitAtIndexNine) {
  // A module that prefixes its answer puts "+" at index 9: not an IMEI.
  EXPECT_TRUE(Parse("at+gsn\r\r\n+CGSN: 356938035643809\r\n").imeis.empty());
}

TEST(ReaderTail, BytesAfterTheLastLineFeedSurvive) {
  EXPECT_EQ(Parse("abc\r\nde").tail, 2u);
  EXPECT_EQ(Parse("abc\r\n").tail, 0u);
  EXPECT_EQ(Parse("no line feed at all").tail, 19u);
  EXPECT_EQ(Parse("").tail, 0u);
}

TEST(ReaderFilePrompt, SignalsTheEventOnlyWhileOneIsSet) {
  ReaderLink link;
  Parse("Waiting for the file to be sent\r\n", link);  // no event: nothing to do
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  link.SetFileWaitEvent(event);
  Parse("\r\nWaiting for the file to be sent ...\r\n", link);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  link.SetFileWaitEvent(nullptr);
  Parse("Waiting for the file to be sent\r\n", link);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  CloseHandle(event);
}

}  // namespace
