#include "settings/settings_check.h"

#include <algorithm>
#include <cstdio>

#include "settings/settings_message.h"

namespace settings {
namespace {

// Bytes listed per setting before the rest are only counted.
constexpr std::size_t LISTED_BYTES_PER_SETTING = 8;

std::string ByteName(unsigned char c) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", c);
  switch (c) {
    case ',': return "comma";
    case 0x00: return std::string("NUL (") + hex + ")";
    case 0x09: return std::string("tab (") + hex + ")";
    case 0x0A: return std::string("LF (") + hex + ")";
    case 0x0D: return std::string("CR (") + hex + ")";
    case 0x1A: return std::string("Ctrl-Z (") + hex + ")";
    case 0x1B: return std::string("ESC (") + hex + ")";
    // Also what a settings file in Unicode gives for a character that the
    // ANSI code page cannot hold.
    case 0x7F: return std::string("DEL (") + hex + ") or a character outside code page 1252";
    default: return std::string("control byte ") + hex;
  }
}

std::string_view TrimTrailingBlanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

void DescribeForbiddenBytes(const SettingsProblem& p, std::string& out) {
  out += '"';
  out += TrimTrailingBlanks(p.setting->caption);
  out += "\" (";
  out += p.setting->identifier;
  out += "): ";
  const std::size_t listed = std::min(p.bytes.size(), LISTED_BYTES_PER_SETTING);
  for (std::size_t i = 0; i < listed; ++i) {
    if (i > 0) out += ", ";
    out += ByteName(p.bytes[i].byte) + " at character " + std::to_string(p.bytes[i].offset + 1);
  }
  if (p.bytes.size() > listed) out += " and " + std::to_string(p.bytes.size() - listed) + " more";
  out += ".\n";
}

void DescribeTooLong(const SettingsProblem& p, std::string& out) {
  out += "Message " + std::to_string(p.messageNumber) + " would be " + std::to_string(p.length) + " characters long, " +
         std::to_string(p.excess) + " more than the " + std::to_string(MESSAGE_MAX_LENGTH) + " a message can hold.\n";
}

}  // namespace

std::vector<SettingsProblem> CheckForDevice(const DeviceSettings& s, SettingsLayout layout) {
  std::vector<SettingsProblem> problems;
  for (const SettingInfo& setting : SETTINGS_TABLE) {
    if (!IsSent(setting, layout)) continue;
    const std::string value = FieldText(s, setting.id);
    SettingsProblem problem;
    for (std::size_t i = 0; i < value.size(); ++i) {
      const auto c = static_cast<unsigned char>(value[i]);
      if (IsForbiddenInMessage(c)) problem.bytes.push_back({i, c});
    }
    if (problem.bytes.empty()) continue;
    problem.kind = SettingsProblem::Kind::ForbiddenBytes;
    problem.setting = &setting;
    problem.messageNumber = setting.message;
    problems.push_back(std::move(problem));
  }
  for (unsigned n = 1; n <= MESSAGE_COUNT; ++n) {
    const std::size_t length = BuildMessageText(s, layout, n).size();
    if (length <= MESSAGE_MAX_LENGTH) continue;
    SettingsProblem problem;
    problem.kind = SettingsProblem::Kind::MessageTooLong;
    problem.messageNumber = n;
    problem.length = length;
    problem.excess = length - MESSAGE_MAX_LENGTH;
    problems.push_back(std::move(problem));
  }
  return problems;
}

std::string DescribeProblems(const std::vector<SettingsProblem>& problems) {
  if (problems.empty()) return {};
  std::string out = "These settings cannot be sent to the tracker:\n";
  for (const SettingsProblem& p : problems) {
    if (p.kind == SettingsProblem::Kind::ForbiddenBytes) {
      DescribeForbiddenBytes(p, out);
    } else {
      DescribeTooLong(p, out);
    }
  }
  out.pop_back();  // no line end after the last line
  return out;
}

}  // namespace settings
