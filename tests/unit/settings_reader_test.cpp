// The settings reader's reply recognition on byte strings: the marker rule,
// exact result lines, the read-back check and the extraction of read texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "settings/settings_exchange_state.h"
#include "settings/settings_message.h"

namespace {

using settings::DeviceSettings;
using settings::ExchangeState;

class SettingReplyScan : public ::testing::Test {
 protected:
  SettingReplyScan() : state_(Callbacks(), settings::SettingsLayout::Extended, "") {}

  settings::ExchangeCallbacks Callbacks() {
    settings::ExchangeCallbacks callbacks;
    callbacks.onMessageApplied = [this](unsigned n, const DeviceSettings& record) {
      applied_.push_back(n);
      record_ = record;
    };
    return callbacks;
  }

  // Runs ScanReplies on `bytes` in the given reply mode; returns the kept tail.
  std::string Scan(const std::string& bytes, DWORD mode = settings::REPLY_MODE_PLAIN) {
    state_.m_nReplyMode = mode;
    std::vector<char> buffer(bytes.begin(), bytes.end());
    buffer.push_back('\0');
    const DWORD kept = settings::ScanReplies(buffer.data(), static_cast<DWORD>(bytes.size()), state_);
    return std::string(buffer.data() + bytes.size() - kept, kept);
  }

  // Which events are signalled now (consumes them): "O", "E", "M".
  std::string Signalled() {
    std::string out;
    for (int i = 0; i < 3; ++i)
      if (WaitForSingleObject(state_.m_hWaitArray[i], 0) == WAIT_OBJECT_0) out += "OEM"[i];
    return out;
  }

  ExchangeState state_;
  std::vector<unsigned> applied_;
  DeviceSettings record_;
};

TEST_F(SettingReplyScan, OnlyExactResultLinesBehindAMarkerCount) {
  EXPECT_EQ(Scan("at+cmgd=1\r\r\nOK\r\n"), "at+cmgd=1\r\r\nOK\r\n") << "no marker: all kept";
  EXPECT_EQ(Signalled(), "");

  EXPECT_EQ(Scan("GSMATResp!at+cmgd=1\r\r\nOK\r\n"), "");
  EXPECT_EQ(Signalled(), "O");

  EXPECT_EQ(Scan("GSMATResp!at+cmgd=1\r\r\nERROR\r\n"), "");
  EXPECT_EQ(Signalled(), "E");

  // "OK" after other text on its line, a lone "OK" without CR, extended
  // error lines and the input prompt are passed over; with no result line
  // yet, the reply is kept whole for the next look.
  const std::string noResult = "GSMATResp!at+cmgf=1OK\r\nOK\n+CMS ERROR: 321\r\nERROR \r\n> ";
  EXPECT_EQ(Scan(noResult), noResult);
  EXPECT_EQ(Signalled(), "");
}

TEST_F(SettingReplyScan, ReplySplitAcrossReadsIsKeptFromItsMarker) {
  const std::string first = "> GSMATResp!at+cmgr=4\r\r\n+CMGR: \"STO UNSENT\",\"+4\",\r\n192.0";
  const std::string kept = Scan(first, settings::REPLY_MODE_READ);
  EXPECT_EQ(kept, first.substr(2));
  EXPECT_EQ(Signalled(), "");

  EXPECT_EQ(Scan(kept + ".2.10,\r\r\n\r\nOK\r\n", settings::REPLY_MODE_READ), "");
  EXPECT_EQ(Signalled(), "O");
  ASSERT_EQ(applied_, std::vector<unsigned>{4});
  EXPECT_EQ(record_.gprsServerAddress, "192.0.2.10");

  // After a result line only a later marker's reply is kept.
  EXPECT_EQ(Scan("GSMATResp!at+cmgd=1\r\r\nOK\r\nGSMATResp!at+cmgd=2\r\r\n"), "GSMATResp!at+cmgd=2\r\r\n");
  EXPECT_EQ(Signalled(), "O");
}

TEST_F(SettingReplyScan, ReadRepliesApplyByTheirTagWithTheTextIntact) {
  // Answering read command 1, the reply carries message 3: it is applied as 3.
  Scan(
      "GSMATResp!at+cmgr=1\r\r\n+CMGR: \"STO "
      "UNSENT\",\"+3\",\r\n9000,internet,,,,,\r\r\n\r\nOK\r\n",
      settings::REPLY_MODE_READ);
  EXPECT_EQ(Signalled(), "O");
  ASSERT_EQ(applied_, std::vector<unsigned>{3});
  EXPECT_EQ(record_.gprsPort, "9000");
  EXPECT_EQ(record_.gprsApn, "internet");

  // An "OK" and a tag-like text inside the message are the message's own.
  Scan("GSMATResp!at+cmgr=4\r\r\n+CMGR: \"STO UNSENT\",\"+4\",\r\nBOOKED.\"+1\".OK,\r\r\n\r\nOK\r\n",
       settings::REPLY_MODE_READ);
  ASSERT_EQ(applied_, (std::vector<unsigned>{3, 4}));
  EXPECT_EQ(record_.gprsServerAddress, "BOOKED.\"+1\".OK");

  // An empty slot: a bare OK counts as OK and applies nothing.
  Scan("GSMATResp!at+cmgr=2\r\r\nOK\r\n", settings::REPLY_MODE_READ);
  EXPECT_EQ(Signalled(), "O");
  EXPECT_EQ(applied_.size(), 2u);
}

TEST_F(SettingReplyScan, ExtractLeavesBytesBeforeTheBufferAlone) {
  // "OK" within the first characters of the buffer: no byte in front of
  // the buffer may be written.
  char storage[64];
  std::memset(storage, '#', sizeof storage);
  char* const buffer = storage + 16;
  const std::string bytes = "OK\"+2\",\r\n5550101,\r\r\n\r\nOK\r\n";
  std::memcpy(buffer, bytes.data(), bytes.size());
  settings::ExtractReadMessage(buffer, static_cast<DWORD>(bytes.size()), state_);
  EXPECT_EQ(std::string(storage, 16), std::string(16, '#'));
  ASSERT_EQ(applied_, std::vector<unsigned>{2});
  EXPECT_EQ(record_.sosNumber1, "5550101");

  // No tag, or no "OK" line after it: nothing happens.
  std::string noOk = "GSMATResp!\"+1\",\r\n1,2,\r\r\n";
  settings::ExtractReadMessage(noOk.data(), static_cast<DWORD>(noOk.size()), state_);
  EXPECT_EQ(noOk, "GSMATResp!\"+1\",\r\n1,2,\r\r\n");
  EXPECT_EQ(applied_.size(), 1u);
}

TEST_F(SettingReplyScan, CheckFindsTheWrittenTextAfterItsTag) {
  DeviceSettings written;
  written.gprsServerAddress = "192.0.2.10";
  state_.SetRecord(written);
  const std::string head = "GSMATResp!at+cmgr=4\r\r\n+CMGR: \"STO UNSENT\",\"+4\",\r\n";

  Scan(head + "192.0.2.10,\r\r\n\r\nOK\r\n", 4);
  EXPECT_EQ(Signalled(), "O");
  Scan(head + "192.0.2.11,\r\r\n\r\nOK\r\n", 4);
  EXPECT_EQ(Signalled(), "M");
  // The text in front of its tag, or under another tag, does not count.
  Scan("192.0.2.10,\r" + head + "x\r\r\n\r\nOK\r\n", 4);
  EXPECT_EQ(Signalled(), "M");
  Scan(head + "192.0.2.10,\r\r\n\r\nOK\r\n", 3);
  EXPECT_EQ(Signalled(), "M");
  EXPECT_TRUE(applied_.empty()) << "a check applies nothing";
}

}  // namespace
