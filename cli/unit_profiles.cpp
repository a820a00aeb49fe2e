#include "unit_profiles.h"

#include <algorithm>
#include <cctype>

#include "csv_table.h"
#include "input_file.h"
#include "platform/profile_file.h"
#include "settings/settings_check.h"
#include "settings/settings_file.h"

using namespace settings;

namespace {

// A table for a few thousand trackers is far below this.
constexpr std::size_t MAX_TABLE_BYTES = 16 * 1024 * 1024;

std::string Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

const SettingInfo* FindByFileKey(std::string_view key) {
  for (const SettingInfo& info : SETTINGS_TABLE)
    if (SameIgnoringCase(info.fileKey, key)) return &info;
  return nullptr;
}

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "3.56938E+14": how a spreadsheet shows a long number (an IMEI, a phone
// number) it has taken for a quantity; the digits are lost.
bool LooksLikeScientificNotation(std::string_view text) {
  const auto e = text.find_first_of("eE");
  if (e == std::string_view::npos || e == 0 || e + 2 > text.size()) return false;
  std::string mantissa(text.substr(0, e));
  if (const auto dot = mantissa.find('.'); dot != std::string::npos) mantissa.erase(dot, 1);
  std::string_view exponent = text.substr(e + 1);
  if (exponent.front() == '+' || exponent.front() == '-') exponent.remove_prefix(1);
  return AllDigits(mantissa) && AllDigits(exponent);
}

// Why a cell's value cannot stand for the setting, or empty when it can.
std::string ValueProblem(const SettingInfo& info, const std::string& value) {
  if (value.size() > platform::PROFILE_VALUE_MAX_CHARS)
    return std::to_string(value.size()) + " characters, a settings file keeps at most " +
           std::to_string(platform::PROFILE_VALUE_MAX_CHARS);
  if (info.input == SettingInput::Digits && LooksLikeScientificNotation(value))
    return "\"" + value + "\" is a number a spreadsheet shortened (format the column as text)";
  if (IsList(info)) {
    // A list value must name one of the list's items; anything else would be
    // written as another value than the one in the table.
    DeviceSettings probe = DeviceSettings::DialogStart();
    SetFromFileValue(probe, info.id, value);
    const std::string taken = FileValueText(probe, info.id);
    if (taken != value)
      return "\"" + value + "\" is not a value of this list (it would be written as \"" + taken + "\")";
  }
  return {};
}

// The settings check's text for one problem, without its heading line.
std::string ProblemText(const SettingsProblem& problem) {
  std::string text = DescribeProblems({problem});
  text.erase(0, text.find('\n') + 1);
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

std::string UnitProfiles::Where(std::size_t row, std::size_t columnIndex) const {
  const std::string name = columnIndex == 0 ? "IMEI" : headers_[columnIndex - 1];
  return "row " + std::to_string(row) + ", column " + std::to_string(columnIndex + 1) + " (\"" + name + "\")";
}

bool UnitProfiles::Parse(std::string_view bytes, std::string& error) {
  columns_.clear();
  headers_.clear();
  rows_.clear();
  if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
    error = "the table is UTF-16 text; save it as CSV (UTF-8 or plain)";
    return false;
  }
  std::vector<CsvRecord> records;
  if (!ParseCsv(bytes, records, error)) return false;
  if (records.empty()) {
    error = "the table is empty; its first row must name the columns: IMEI, then settings-file keys";
    return false;
  }
  const CsvRecord& header = records.front();
  if (!SameIgnoringCase(Trim(header.fields[0]), "IMEI")) {
    error = "row " + std::to_string(header.row) + ", column 1: the first column must be \"IMEI\"";
    if (header.fields.size() == 1 && header.fields[0].find(';') != std::string::npos)
      error += " (the row holds semicolons; columns are separated by commas)";
    return false;
  }
  for (std::size_t c = 1; c < header.fields.size(); ++c) {
    const std::string name = Trim(header.fields[c]);
    headers_.push_back(name);
    const SettingInfo* info = FindByFileKey(name);
    if (!info) {
      error = Where(header.row, c) + ": not a key of the settings file";
      return false;
    }
    if (std::find(columns_.begin(), columns_.end(), info->id) != columns_.end()) {
      error = Where(header.row, c) + ": the key has a column already";
      return false;
    }
    columns_.push_back(info->id);
  }
  for (std::size_t r = 1; r < records.size(); ++r) {
    const CsvRecord& record = records[r];
    if (record.fields.size() != header.fields.size()) {
      error = "row " + std::to_string(record.row) + ": " + std::to_string(record.fields.size()) +
              " cells, but the first row names " + std::to_string(header.fields.size()) + " columns";
      return false;
    }
    UnitProfile profile;
    profile.row = record.row;
    profile.imei = Trim(record.fields[0]);
    if (!AllDigits(profile.imei)) {
      error = Where(record.row, 0) + ": \"" + profile.imei + "\" is not an IMEI (digits only";
      error += profile.imei.find_first_of("eE.") != std::string::npos
                   ? "; a spreadsheet may have written it as a number: format the column as text)"
                   : ")";
      return false;
    }
    for (const UnitProfile& earlier : rows_) {
      if (earlier.imei == profile.imei) {
        error = Where(record.row, 0) + ": IMEI " + profile.imei + " is in row " + std::to_string(earlier.row) +
                " already";
        return false;
      }
    }
    for (std::size_t c = 1; c < record.fields.size(); ++c) {
      std::string value = Trim(record.fields[c]);
      if (!value.empty()) {
        const std::string problem = ValueProblem(Setting(columns_[c - 1]), value);
        if (!problem.empty()) {
          error = Where(record.row, c) + ": " + problem;
          return false;
        }
      }
      profile.values.push_back(std::move(value));
    }
    rows_.push_back(std::move(profile));
  }
  return true;
}

const UnitProfile* UnitProfiles::Find(std::string_view imei) const {
  for (const UnitProfile& profile : rows_)
    if (profile.imei == imei) return &profile;
  return nullptr;
}

void UnitProfiles::Apply(const UnitProfile& profile, DeviceSettings& record) const {
  for (std::size_t c = 0; c < columns_.size() && c < profile.values.size(); ++c)
    if (!profile.values[c].empty()) SetFromFileValue(record, columns_[c], profile.values[c]);
}

bool UnitProfiles::CheckAgainst(std::string_view baseFileBytes, std::string& error) const {
  for (const SettingsLayout layout : {SettingsLayout::Extended, SettingsLayout::Basic}) {
    DeviceSettings base = DeviceSettings::DialogStart();
    ApplySettingsFileText(baseFileBytes, layout, base);
    std::vector<unsigned> longInBase;
    for (const SettingsProblem& p : CheckForDevice(base, layout))
      if (p.kind == SettingsProblem::Kind::MessageTooLong) longInBase.push_back(p.messageNumber);
    for (const UnitProfile& profile : rows_) {
      DeviceSettings record = base;
      Apply(profile, record);
      for (const SettingsProblem& p : CheckForDevice(record, layout)) {
        if (p.kind == SettingsProblem::Kind::ForbiddenBytes) {
          // Only the row's own cells are its fault; the base file's values
          // are checked on each tracker as a plain set checks them.
          const auto column = std::find(columns_.begin(), columns_.end(), p.setting->id);
          if (column == columns_.end() || profile.values[column - columns_.begin()].empty()) continue;
          error = Where(profile.row, static_cast<std::size_t>(column - columns_.begin()) + 1) + ": " +
                  ProblemText(p);
          return false;
        }
        if (std::find(longInBase.begin(), longInBase.end(), p.messageNumber) != longInBase.end()) continue;
        std::string cells;
        for (std::size_t c = 0; c < columns_.size(); ++c) {
          if (profile.values[c].empty() || Setting(columns_[c]).message != p.messageNumber) continue;
          cells += (cells.empty() ? "" : ", ") + std::string("\"") + headers_[c] + "\"";
        }
        error = "row " + std::to_string(profile.row) + (cells.empty() ? "" : ", columns " + cells) + ": " +
                ProblemText(p);
        return false;
      }
    }
  }
  return true;
}

bool LoadUnitProfiles(const std::string& path, UnitProfiles& profiles, std::string& bytes, std::string& error) {
  std::string reason;
  if (!ReadInputFile(path, MAX_TABLE_BYTES, bytes, reason)) {
    error = "cannot read the profile table " + path + " (" + reason + ")";
    return false;
  }
  if (!profiles.Parse(bytes, reason)) {
    error = path + ": " + reason;
    return false;
  }
  return true;
}
