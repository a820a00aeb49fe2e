// kvsim's options for the GSM side.
#include <charconv>

#include "sim_gsm.h"

namespace sim {
namespace {

bool ParseUnsigned(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseKind(std::string_view text, GsmCommandKind& kind) {
  static constexpr std::pair<std::string_view, GsmCommandKind> kKinds[] = {
      {"any", GsmCommandKind::Any},       {"version", GsmCommandKind::Version}, {"textmode", GsmCommandKind::TextMode},
      {"delete", GsmCommandKind::Delete}, {"store", GsmCommandKind::Store},     {"read", GsmCommandKind::Read},
  };
  for (const auto& [name, value] : kKinds) {
    if (text == name) {
      kind = value;
      return true;
    }
  }
  return false;
}

// KIND[:SLOT][/TIMES]
bool ParseRule(std::string_view text, GsmFaultRule& rule) {
  std::uint64_t number = 0;
  if (const auto slash = text.find('/'); slash != std::string_view::npos) {
    if (!ParseUnsigned(text.substr(slash + 1), number) || number == 0 || number > 1000000) return false;
    rule.times = static_cast<int>(number);
    text = text.substr(0, slash);
  }
  if (const auto colon = text.find(':'); colon != std::string_view::npos) {
    if (!ParseUnsigned(text.substr(colon + 1), number) || number < 1 || number > GSM_SLOT_COUNT) return false;
    rule.slot = static_cast<int>(number);
    text = text.substr(0, colon);
  }
  return ParseKind(text, rule.command);
}

}  // namespace

bool IsGsmOption(std::string_view name) {
  return name == "firmware" || name == "gsm-error" || name == "gsm-silent" || name == "gsm-late" ||
         name == "gsm-mismatch" || name == "gsm-split";
}

bool ParseGsmOption(std::string_view name, std::string_view value, GsmOptions& options) {
  std::uint64_t number = 0;
  if (name == "firmware") {
    if (value == "basic") {
      options.versionText = std::string(BASIC_VERSION_TEXT);
    } else if (value == "extended") {
      options.versionText = std::string(EXTENDED_VERSION_TEXT);
    } else if (!value.empty()) {
      options.versionText = std::string(value);
    } else {
      return false;
    }
    return true;
  }
  if (name == "gsm-error" || name == "gsm-silent") {
    GsmFaultRule rule;
    rule.fault = name == "gsm-error" ? GsmFault::Error : GsmFault::Silent;
    if (!ParseRule(value, rule)) return false;
    options.faults.push_back(rule);
    return true;
  }
  if (name == "gsm-late") {
    GsmFaultRule rule;
    rule.fault = GsmFault::Late;
    const auto comma = value.find(',');
    if (!ParseUnsigned(value.substr(0, comma), number) || number > 600000) return false;
    rule.delayMs = static_cast<std::uint32_t>(number);
    if (comma != std::string_view::npos && !ParseRule(value.substr(comma + 1), rule)) return false;
    options.faults.push_back(rule);
    return true;
  }
  if (name == "gsm-mismatch") {
    const auto colon = value.find(':');
    if (!ParseUnsigned(value.substr(0, colon), number) || number > 1000000) return false;
    options.mismatchReads = static_cast<int>(number);
    options.mismatchSlot = 0;
    if (colon != std::string_view::npos) {
      if (!ParseUnsigned(value.substr(colon + 1), number) || number < 1 || number > GSM_SLOT_COUNT) return false;
      options.mismatchSlot = static_cast<int>(number);
    }
    return true;
  }
  if (name == "gsm-split") {
    const auto comma = value.find(',');
    if (!ParseUnsigned(value.substr(0, comma), number) || number > 4096) return false;
    options.splitAt = static_cast<std::size_t>(number);
    if (comma != std::string_view::npos) {
      if (!ParseUnsigned(value.substr(comma + 1), number) || number > 600000) return false;
      options.splitPauseMs = static_cast<std::uint32_t>(number);
    }
    return true;
  }
  return false;
}

std::string_view GsmOptionsUsage() {
  return "GSM side:\n"
         "  --firmware=basic|extended|TEXT  version answer (basic holds a Q; default extended)\n"
         "  --gsm-error=RULE                refuse matching commands with ERROR\n"
         "  --gsm-silent=RULE               matching commands get no reply\n"
         "  --gsm-late=MS[,RULE]            matching replies come MS late (default: all)\n"
         "  --gsm-mismatch=N[:SLOT]         the first N read-backs (of SLOT) differ\n"
         "  --gsm-split=BYTES[,PAUSE_MS]    replies come in two writes (pause 300 ms)\n"
         "  RULE is KIND[:SLOT][/TIMES], KIND one of any, version, textmode, delete,\n"
         "  store, read; SLOT 1-4 (a store's \"+n\"); TIMES how often (default always).\n"
         "  Options may repeat; the first matching rule wins.\n";
}

}  // namespace sim
