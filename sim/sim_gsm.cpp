#include "sim_gsm.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/clock.h"
#include "sim_line.h"

namespace sim {
namespace {

constexpr std::string_view kMarker = "GSMATResp!";
constexpr std::string_view kOkLine = "OK\r\n";
constexpr std::string_view kErrorLine = "ERROR\r\n";
constexpr std::string_view kInvalidIndex = "+CMS ERROR: 321\r\n";
constexpr std::string_view kMemoryFull = "+CMS ERROR: 322\r\n";
constexpr unsigned char kCtrlZ = 0x1A;
constexpr unsigned char kEsc = 0x1B;  // abandons a message text being entered

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The decimal number of a whole text, or -1.
int ParseIndex(std::string_view text) {
  int value = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return -1;
  return value;
}

// Slot number named by an address such as "+3" (0 when it names none).
int SlotOfAddress(std::string_view address) {
  if (address.size() == 2 && address[0] == '+' && address[1] >= '1' && address[1] <= '4') return address[1] - '0';
  return 0;
}

// The read-back of a message whose text is made to differ from the stored one.
std::string DifferingText(std::string text) {
  if (text.empty()) return "#";
  text[0] = text[0] == '#' ? '$' : '#';
  return text;
}

}  // namespace

const GsmFaultRule* GsmModem::TakeFault(GsmCommandKind kind, int slot) {
  for (std::size_t i = 0; i < options_.faults.size(); ++i) {
    const GsmFaultRule& rule = options_.faults[i];
    // "Any" means any command of the GSM module; the version query is the tracker's own.
    if (rule.command == GsmCommandKind::Any ? kind == GsmCommandKind::Version : rule.command != kind) continue;
    if (rule.slot != 0 && rule.slot != slot) continue;
    if (rule.times != 0 && strikesUsed_[i] >= rule.times) continue;
    ++strikesUsed_[i];
    return &rule;
  }
  return nullptr;
}

void GsmModem::SendModuleReply(SimLine& out, std::string_view reply, const GsmFaultRule* fault) {
  if (fault && fault->fault == GsmFault::Silent) return;
  if (fault && fault->fault == GsmFault::Late) platform::SleepMs(fault->delayMs);
  std::string whole(kMarker);
  whole += reply;
  const std::size_t split = options_.splitAt;
  if (split == 0 || split >= whole.size()) {
    out.Send(whole);
    return;
  }
  out.Send(std::string_view(whole).substr(0, split));
  platform::SleepMs(options_.splitPauseMs);
  out.Send(std::string_view(whole).substr(split));
}

bool GsmModem::OnCommand(std::string_view line, SimLine& out) {
  const std::string command = Lower(line);
  if (command == "kv+fwv\r") {
    OnVersion(out);
    return true;
  }
  if (command.rfind("at", 0) != 0) return false;

  const std::string_view echo = line;
  const std::string_view body = std::string_view(command).substr(0, command.size() - 1);
  auto argument = [&](std::string_view prefix) -> std::string_view { return body.substr(prefix.size()); };

  if (body.rfind("at+cmgf=", 0) == 0) {
    const GsmFaultRule* fault = TakeFault(GsmCommandKind::TextMode, 0);
    const std::string_view mode = argument("at+cmgf=");
    const bool valid = mode == "0" || mode == "1";
    const bool refused = !valid || (fault && fault->fault == GsmFault::Error);
    SendModuleReply(out, std::string(echo) + "\r\n" + std::string(refused ? kErrorLine : kOkLine),
                    refused ? nullptr : fault);
    return true;
  }
  if (body.rfind("at+cmgd=", 0) == 0) {
    OnDelete(echo, ParseIndex(argument("at+cmgd=")), out);
    return true;
  }
  if (body.rfind("at+cmgw=", 0) == 0) {
    // The address keeps its original spelling (the tool's is "+n").
    OnStoreCommand(echo, line.substr(8, line.size() - 9), out);
    return true;
  }
  if (body.rfind("at+cmgr=", 0) == 0) {
    OnRead(echo, ParseIndex(argument("at+cmgr=")), out);
    return true;
  }
  // Any other AT command is unknown to this module.
  SendModuleReply(out, std::string(echo) + "\r\n" + std::string(kErrorLine), nullptr);
  return true;
}

void GsmModem::OnVersion(SimLine& out) {
  const GsmFaultRule* fault = TakeFault(GsmCommandKind::Version, 0);
  if (fault && fault->fault == GsmFault::Silent) return;
  if (fault && fault->fault == GsmFault::Late) platform::SleepMs(fault->delayMs);
  if (fault && fault->fault == GsmFault::Error) {
    out.Send("kv+fwv\r\r\nERROR\r\n");
    return;
  }
  out.Send("kv+fwv\r\r\n" + VersionText() + "\r\n");
}

void GsmModem::SetVersionText(std::string text) {
  std::lock_guard<std::mutex> lock(lock_);
  options_.versionText = std::move(text);
}

std::string GsmModem::VersionText() const {
  std::lock_guard<std::mutex> lock(lock_);
  return options_.versionText;
}

void GsmModem::OnDelete(std::string_view echo, int index, SimLine& out) {
  const GsmFaultRule* fault = TakeFault(GsmCommandKind::Delete, index);
  std::string reply = std::string(echo) + "\r\n";
  if (fault && fault->fault == GsmFault::Error) {
    SendModuleReply(out, reply + std::string(kErrorLine), nullptr);
    return;
  }
  if (index < 1 || index > GSM_SLOT_COUNT) {
    SendModuleReply(out, reply + std::string(kInvalidIndex), fault);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(lock_);
    store_[static_cast<std::size_t>(index - 1)] = StoredMessage{};
  }
  SendModuleReply(out, reply + std::string(kOkLine), fault);
}

void GsmModem::OnStoreCommand(std::string_view echo, std::string_view address, SimLine& out) {
  const GsmFaultRule* fault = TakeFault(GsmCommandKind::Store, SlotOfAddress(address));
  if (fault && fault->fault == GsmFault::Error) {
    SendModuleReply(out, std::string(echo) + "\r\n" + std::string(kErrorLine), nullptr);
    return;
  }
  body_ = BodyState::Text;
  bodyAddress_ = std::string(address);
  bodyText_.clear();
  bodyFault_ = fault;
  // The input prompt; a silent module withholds it as well.
  SendModuleReply(out, std::string(echo) + "\r\n> ", fault && fault->fault == GsmFault::Silent ? fault : nullptr);
}

void GsmModem::OnBodyByte(unsigned char byte, SimLine& out) {
  if (body_ == BodyState::EndMark) {
    // The CR that follows Ctrl-Z ends the end mark; any other byte ends it too.
    FinishBody(out);
    return;
  }
  if (byte == kCtrlZ) {
    body_ = BodyState::EndMark;
    return;
  }
  if (byte == kEsc) {
    // The text is dropped and nothing is stored; the module takes commands again.
    body_ = BodyState::None;
    bodyText_.clear();
    SendModuleReply(out, "\r\n" + std::string(kOkLine), nullptr);
    return;
  }
  bodyText_.push_back(static_cast<char>(byte));
  if (bodyText_.size() > GSM_MAX_BODY) {
    body_ = BodyState::None;
    bodyText_.clear();
    SendModuleReply(out, "\r\n" + std::string(kErrorLine), nullptr);
  }
}

int GsmModem::StoreBody() {
  body_ = BodyState::None;
  std::lock_guard<std::mutex> lock(lock_);
  for (int i = 0; i < GSM_SLOT_COUNT; ++i) {
    StoredMessage& slot = store_[static_cast<std::size_t>(i)];
    if (slot.used) continue;
    slot = StoredMessage{true, bodyAddress_, bodyText_};
    return i + 1;
  }
  return 0;
}

void GsmModem::PowerLost() {
  if (body_ == BodyState::EndMark) StoreBody();
  body_ = BodyState::None;
  bodyText_.clear();
}

void GsmModem::FinishBody(SimLine& out) {
  const int index = StoreBody();
  if (index == 0) {
    SendModuleReply(out, "\r\n" + std::string(kMemoryFull), bodyFault_);
    return;
  }
  SendModuleReply(out, "\r\n+CMGW: " + std::to_string(index) + "\r\n\r\n" + std::string(kOkLine), bodyFault_);
}

void GsmModem::OnRead(std::string_view echo, int index, SimLine& out) {
  const GsmFaultRule* fault = TakeFault(GsmCommandKind::Read, index);
  std::string reply = std::string(echo) + "\r\n";
  if (fault && fault->fault == GsmFault::Error) {
    SendModuleReply(out, reply + std::string(kErrorLine), nullptr);
    return;
  }
  if (index < 1 || index > GSM_SLOT_COUNT) {
    SendModuleReply(out, reply + std::string(kInvalidIndex), fault);
    return;
  }
  StoredMessage message;
  {
    std::lock_guard<std::mutex> lock(lock_);
    message = store_[static_cast<std::size_t>(index - 1)];
  }
  if (message.used) {
    std::string text = message.text;
    const bool differs = mismatchesLeft_ > 0 && (options_.mismatchSlot == 0 || options_.mismatchSlot == index);
    if (differs) {
      --mismatchesLeft_;
      text = DifferingText(std::move(text));
    }
    reply += "+CMGR: \"STO UNSENT\",\"" + message.address + "\",\r\n" + text + "\r\n\r\n";
  }
  SendModuleReply(out, reply + std::string(kOkLine), fault);
}

std::array<std::string, GSM_SLOT_COUNT> GsmModem::Store() const {
  std::lock_guard<std::mutex> lock(lock_);
  std::array<std::string, GSM_SLOT_COUNT> texts;
  for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = store_[i].text;
  return texts;
}

}  // namespace sim
