// The box after a write that ended without its OK on a line that stayed:
// each message it names is in the state it says on the tracker, a write
// that the tracker really took says nothing, and pressing Set to device
// again, as the box says, leaves the tracker holding the fields.
#include <cctype>
#include <map>
#include <sstream>

#include "device_setting_fixture.h"

namespace {

using settings::SettingId;
using settings::SettingsLayout;

// Replaces an edit's text as a user does: select all, type.
void Type(QLineEdit* edit, const char* text) {
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

// "messages 3, 4 deleted and not yet rewritten; message 1 rewritten and
// checked" -> {3: "deleted and not yet rewritten", ...}; empty when the text
// is not a write's box.
std::map<unsigned, std::string> StatesIn(const std::string& box) {
  std::map<unsigned, std::string> states;
  const std::string start = settings::WRITE_UNFINISHED_START;
  if (box.compare(0, start.size(), start) != 0) return states;
  const std::size_t end = box.find(".\n");
  std::string list = box.substr(start.size(), end - start.size());
  std::size_t from = 0;
  while (from < list.size()) {
    std::size_t semi = list.find("; ", from);
    if (semi == std::string::npos) semi = list.size();
    std::string part = list.substr(from, semi - from);
    from = semi + 2;
    std::istringstream in(part);
    std::string word;
    in >> word;  // "message" or "messages"
    std::vector<unsigned> numbers;
    std::string rest;
    while (in >> word) {
      if (!word.empty() && word.back() == ',') word.pop_back();
      if (!word.empty() && std::isdigit(static_cast<unsigned char>(word[0]))) {
        numbers.push_back(static_cast<unsigned>(std::stoul(word)));
      } else {
        std::getline(in, rest);
        rest = word + rest;
        break;
      }
    }
    for (unsigned n : numbers) states[n] = rest;
  }
  return states;
}

class UnfinishedWriteTest : public DeviceSettingTest {
 protected:
  // Seeds the tracker, opens the dialog and changes a value in every
  // message, so that an old message and a new one always differ.
  settings::DeviceSettings OpenAndEditEveryMessage(bool seed = true) {
    if (seed) Seed(Example(), SettingsLayout::Extended);
    seeded_ = seed;
    OpenDialogIdle();
    dialog_->ShowSettings(Example());
    Type(Edit(SettingId::userName), "Unit9");
    Type(Edit(SettingId::sosNumber1), "5551234");
    Type(Edit(SettingId::gprsApn), "apn.example");
    Type(Edit(SettingId::gprsServerAddress), "10.1.2.3");
    return dialog_->ReadSettings();
  }

  // Every message the box calls checked holds the new text, every message
  // it calls unchanged the old one, and a message that holds neither is
  // named as deleted or unchecked.
  void ExpectBoxMatchesTracker(const std::string& box, const settings::DeviceSettings& wanted) {
    const auto states = StatesIn(box);
    ASSERT_FALSE(states.empty()) << box;
    const auto store = tracker_->MessageStore();
    const auto newTexts = MessageTexts(wanted, SettingsLayout::Extended);
    const auto oldTexts = seeded_ ? MessageTexts(Example(), SettingsLayout::Extended) : std::array<std::string, 4>{};
    for (unsigned n = 1; n <= 4; ++n) {
      SCOPED_TRACE(n);
      ASSERT_TRUE(states.count(n)) << box;
      const std::string& said = states.at(n);
      if (said == "rewritten and checked") {
        EXPECT_EQ(store[n - 1], newTexts[n - 1]) << box;
      }
      if (said == "not changed") {
        EXPECT_EQ(store[n - 1], oldTexts[n - 1]) << box;
      }
    }
  }
  bool seeded_ = true;
};

class SwitchOffMomentTest : public UnfinishedWriteTest, public ::testing::WithParamInterface<const char*> {};

// A switch-off at each command of the write: the box says what the tracker
// holds, and one more press once it is on writes the fields.
TEST_P(SwitchOffMomentTest, BoxSaysWhatTheTrackerHoldsAndAnotherPressWritesTheFields) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  const settings::DeviceSettings wanted = OpenAndEditEveryMessage();
  const int before = tracker_->CommandCount(GetParam());
  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount(GetParam()) > before; }));
  tracker_->SwitchOff();
  ASSERT_TRUE(AwaitIdle());
  if (boxes_.Texts().empty()) {
    // The tracker answered the last check before it went off.
    EXPECT_EQ(Status(), settings::SETTING_MESSAGE_OK_TEXT);
    EXPECT_EQ(tracker_->MessageStore(), MessageTexts(wanted, SettingsLayout::Extended));
    return;
  }
  ASSERT_EQ(boxes_.Texts().size(), 1u);
  ExpectBoxMatchesTracker(boxes_.Texts().front(), wanted);

  tracker_->SwitchOn();
  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(Status(), settings::SETTING_MESSAGE_OK_TEXT);
  EXPECT_EQ(tracker_->MessageStore(), MessageTexts(wanted, SettingsLayout::Extended));
  EXPECT_EQ(boxes_.Texts().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Commands, SwitchOffMomentTest,
                         ::testing::Values("at+cmgd=1\r", "at+cmgd=4\r", "at+cmgw=+2\r", "at+cmgr=2\r", "at+cmgw=+3\r",
                                           "at+cmgr=4\r"));

struct FaultCase {
  const char* name;
  sim::GsmFaultRule rule;
  bool finishes;  // a second press, as the box says, writes every message
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

class TrackerFaultTest : public UnfinishedWriteTest, public ::testing::WithParamInterface<FaultCase> {};

// A tracker that answers ERROR, late or not at all to one command: a box
// exactly when a message may be missing, naming it, and the advice works.
TEST_P(TrackerFaultTest, BoxOnlyForWhatMayBeMissingAndTheAdviceWorks) {
  sim::SimOptions options;
  options.gsm.faults.push_back(GetParam().rule);
  ASSERT_NO_FATAL_FAILURE(Connect(options));
  const settings::DeviceSettings wanted = OpenAndEditEveryMessage(false);
  const auto boxesBefore = boxes_.Texts().size();
  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(AwaitIdle());
  const auto store = tracker_->MessageStore();
  const auto texts = MessageTexts(wanted, SettingsLayout::Extended);
  const auto boxes = boxes_.Texts();
  const std::string status = Status();
  if (boxes.size() > boxesBefore) {
    ExpectBoxMatchesTracker(boxes.back(), wanted);
  }
  if (store == texts && status == settings::SETTING_MESSAGE_OK_TEXT) {
    EXPECT_EQ(boxes.size(), boxesBefore);
  }
  if (store != texts) {
    EXPECT_GT(boxes.size(), boxesBefore) << "the tracker lacks a message, unsaid";
  }

  if (boxes.size() > boxesBefore && GetParam().finishes) {
    Click(Item(IDC_BTN_SET_TO_DEVICE));
    ASSERT_TRUE(AwaitIdle());
    EXPECT_EQ(tracker_->MessageStore(), texts);
    EXPECT_EQ(Status(), settings::SETTING_MESSAGE_OK_TEXT);
  }
}

using sim::GsmCommandKind;
using sim::GsmFault;

INSTANTIATE_TEST_SUITE_P(
    Faults, TrackerFaultTest,
    ::testing::Values(FaultCase{"ErrorRead2", {GsmFault::Error, GsmCommandKind::Read, 2, 2}, true},
                      FaultCase{"ErrorStore2", {GsmFault::Error, GsmCommandKind::Store, 2, 1}, true},
                      FaultCase{"ErrorDelete3", {GsmFault::Error, GsmCommandKind::Delete, 3, 1}, true},
                      FaultCase{"SilentDelete1", {GsmFault::Silent, GsmCommandKind::Delete, 1, 1}, true},
                      FaultCase{"SilentRead3", {GsmFault::Silent, GsmCommandKind::Read, 3, 2}, true},
                      FaultCase{"LateRead1", {GsmFault::Late, GsmCommandKind::Read, 1, 2, 6000}, true},
                      FaultCase{"LateStore1", {GsmFault::Late, GsmCommandKind::Store, 1, 1, 6000}, true},
                      FaultCase{"LateDelete2", {GsmFault::Late, GsmCommandKind::Delete, 2, 1, 6000}, true},
                      FaultCase{"LateRead4", {GsmFault::Late, GsmCommandKind::Read, 4, 2, 6000}, true},
                      FaultCase{"ErrorStore1", {GsmFault::Error, GsmCommandKind::Store, 1, 1}, true},
                      FaultCase{"ErrorStore4", {GsmFault::Error, GsmCommandKind::Store, 4, 1}, true},
                      FaultCase{"ErrorStore4Always", {GsmFault::Error, GsmCommandKind::Store, 4, 11}, false}));

// The tracker's module refuses the store command of message 4 and then does
// not answer its read-back: message 4 was deleted and never stored, and the
// box says so instead of calling it rewritten.
TEST_F(UnfinishedWriteTest, RefusedStoreIsNamedDeletedNotRewritten) {
  sim::SimOptions options;
  options.gsm.faults.push_back({GsmFault::Error, GsmCommandKind::Store, 4, 1});
  // The opening's read of message 4 and the write's check go unanswered.
  options.gsm.faults.push_back({GsmFault::Silent, GsmCommandKind::Read, 4, 2});
  ASSERT_NO_FATAL_FAILURE(Connect(options));
  OpenAndEditEveryMessage(false);
  // A text the tracker cannot take for a menu choice when it reaches it.
  Type(Edit(SettingId::gprsServerAddress), "srv.example");
  const settings::DeviceSettings wanted = dialog_->ReadSettings();
  const auto boxesBefore = boxes_.Texts().size();
  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(AwaitIdle());
  ASSERT_EQ(tracker_->MessageStore()[3], "") << "the module stored nothing";
  const auto boxes = boxes_.Texts();
  ASSERT_EQ(boxes.size(), boxesBefore + 1);
  const auto states = StatesIn(boxes.back());
  ASSERT_TRUE(states.count(4)) << boxes.back();
  EXPECT_EQ(states.at(4), "deleted and not yet rewritten") << boxes.back();
  ExpectBoxMatchesTracker(boxes.back(), wanted);

  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(tracker_->MessageStore(), MessageTexts(wanted, SettingsLayout::Extended));
  EXPECT_EQ(Status(), settings::SETTING_MESSAGE_OK_TEXT);
}

// After the box, a user reads the tracker instead of writing again: the
// messages the write left deleted come back empty, and their fields keep the
// values the box promised to keep (and say so), so that the next Set to
// device writes what the user wanted instead of empty messages.
TEST_F(UnfinishedWriteTest, GetAfterTheBoxKeepsTheFieldsOfMessagesTheTrackerLacks) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  const settings::DeviceSettings wanted = OpenAndEditEveryMessage();
  const int before = tracker_->CommandCount("at+cmgw=+2\r");
  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(WaitFor([&] { return tracker_->CommandCount("at+cmgw=+2\r") > before; }));
  tracker_->SwitchOff();
  ASSERT_TRUE(AwaitIdle());
  ASSERT_EQ(boxes_.Texts().size(), 1u);
  tracker_->SwitchOn();
  // The tracker holds message 1 and lacks the rest.
  const auto texts = MessageTexts(wanted, SettingsLayout::Extended);
  ASSERT_EQ(tracker_->MessageStore()[0], texts[0]);
  ASSERT_EQ(tracker_->MessageStore()[3], "");

  Click(Item(IDC_BTN_GET_DEVICE_SETTING));
  ASSERT_TRUE(AwaitIdle());
  // Messages 2 to 4 (SOS numbers, GPRS settings, server) keep the fields.
  const settings::DeviceSettings shown = dialog_->ReadSettings();
  for (const settings::SettingInfo& info : settings::SETTINGS_TABLE) {
    if (info.message >= 2) {
      EXPECT_EQ(settings::FieldText(shown, info.id), settings::FieldText(wanted, info.id)) << info.identifier;
    }
  }
  ASSERT_EQ(boxes_.Texts().size(), 2u) << "the kept fields are not said";
  EXPECT_NE(boxes_.Texts().back().find('4'), std::string::npos) << boxes_.Texts().back();

  Click(Item(IDC_BTN_SET_TO_DEVICE));
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(Status(), settings::SETTING_MESSAGE_OK_TEXT);
  EXPECT_EQ(tracker_->MessageStore(), texts);
}

}  // namespace
