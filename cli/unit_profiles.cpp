#include "unit_profiles.h"

#include <algorithm>
#include <cctype>

#include "csv_table.h"
#include "input_file.h"
#include "table_text.h"
#include "platform/profile_file.h"
#include "settings/settings_check.h"
#include "settings/settings_file.h"

using namespace settings;

namespace {

// A table for a few thousand trackers is far below this.
constexpr std::size_t MAX_TABLE_BYTES = 16 * 1024 * 1024;
// Every IMEI has 15 digits; a spreadsheet that took the column for numbers
// drops a leading zero and leaves 14.
constexpr std::size_t IMEI_DIGITS = 15;

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

// Message 1 is the one whose fields differ between the layouts: its length
// is named with the layout it was measured in.
std::string LayoutNote(unsigned message, SettingsLayout layout) {
  if (message != 1) return {};
  return layout == SettingsLayout::Extended ? " (extended layout)" : " (basic layout)";
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
  rowOfImei_.clear();
  if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
    error = "the table is UTF-16 text; save it as CSV (UTF-8 or plain)";
    return false;
  }
  std::vector<CsvRecord> records;
  if (!ParseCsv(bytes, records, error)) return false;
  // Every cell as the tracker will get it, before anything looks at it.
  const TableEncoding encoding = DetectTableEncoding(bytes);
  for (CsvRecord& record : records) {
    for (std::size_t c = 0; c < record.fields.size(); ++c) {
      std::string text, problem;
      if (!CellToAnsi(record.fields[c], encoding, text, problem)) {
        error = "row " + std::to_string(record.row) + ", column " + std::to_string(c + 1) + ": " + problem;
        return false;
      }
      record.fields[c] = std::move(text);
    }
  }
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
    if (profile.imei.size() != IMEI_DIGITS) {
      error = Where(record.row, 0) + ": \"" + profile.imei + "\" is not an IMEI (" + std::to_string(IMEI_DIGITS) +
              " digits, not " + std::to_string(profile.imei.size());
      error += profile.imei.size() == IMEI_DIGITS - 1
                   ? "; a spreadsheet may have dropped a leading zero: format the column as text)"
                   : ")";
      return false;
    }
    if (const auto [earlier, added] = rowOfImei_.emplace(profile.imei, rows_.size()); !added) {
      error = Where(record.row, 0) + ": IMEI " + profile.imei + " is in row " +
              std::to_string(rows_[earlier->second].row) + " already";
      return false;
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
  const auto it = rowOfImei_.find(std::string(imei));
  return it == rowOfImei_.end() ? nullptr : &rows_[it->second];
}

std::vector<SettingId> UnitProfiles::Supplied(const UnitProfile& profile) const {
  std::vector<SettingId> ids;
  for (std::size_t c = 0; c < columns_.size() && c < profile.values.size(); ++c)
    if (!profile.values[c].empty()) ids.push_back(columns_[c]);
  return ids;
}

void UnitProfiles::Apply(const UnitProfile& profile, DeviceSettings& record) const {
  for (std::size_t c = 0; c < columns_.size() && c < profile.values.size(); ++c)
    if (!profile.values[c].empty()) SetFromFileValue(record, columns_[c], profile.values[c]);
}

bool UnitProfiles::CheckAgainst(std::string_view baseFileBytes, std::string& error) const {
  for (const SettingsLayout layout : {SettingsLayout::Extended, SettingsLayout::Basic}) {
    DeviceSettings base = DeviceSettings::DialogStart();
    ApplySettingsFileText(baseFileBytes, layout, base);
    for (const UnitProfile& profile : rows_) {
      DeviceSettings record = base;
      Apply(profile, record);
      for (const SettingsProblem& p : CheckForDevice(record, layout)) {
        if (p.kind == SettingsProblem::Kind::ForbiddenBytes) {
          const auto column = std::find(columns_.begin(), columns_.end(), p.setting->id);
          if (column != columns_.end() && !profile.values[column - columns_.begin()].empty()) {
            error = Where(profile.row, static_cast<std::size_t>(column - columns_.begin()) + 1) + ": " + ProblemText(p);
          } else {
            // The row keeps the base file's value: the tracker would get it.
            error = "row " + std::to_string(profile.row) + ": " + ProblemText(p) + " (the base file's value)";
          }
          return false;
        }
        std::string cells;
        for (std::size_t c = 0; c < columns_.size(); ++c) {
          if (profile.values[c].empty() || Setting(columns_[c]).message != p.messageNumber) continue;
          cells += (cells.empty() ? "" : ", ") + std::string("\"") + headers_[c] + "\"";
        }
        error = "row " + std::to_string(profile.row) + (cells.empty() ? "" : ", columns " + cells) + ": " +
                ProblemText(p) + LayoutNote(p.messageNumber, layout);
        return false;
      }
    }
  }
  return true;
}

std::vector<const UnitProfile*> UnitProfiles::Unmatched(const std::set<std::string>& imeis) const {
  std::vector<const UnitProfile*> rows;
  for (const UnitProfile& profile : rows_)
    if (!imeis.count(profile.imei)) rows.push_back(&profile);
  return rows;
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

std::string DescribeUnmatchedRows(const UnitProfiles& profiles, const std::string& path,
                                  const std::set<std::string>& imeis, std::size_t shown) {
  const auto rows = profiles.Unmatched(imeis);
  if (rows.empty()) return {};
  std::string text =
      std::to_string(rows.size()) + (rows.size() == 1 ? " row of " : " rows of ") + path + " matched no tracker:";
  for (std::size_t i = 0; i < rows.size() && i < shown; ++i)
    text += "\n  row " + std::to_string(rows[i]->row) + ": IMEI " + rows[i]->imei;
  if (rows.size() > shown) text += "\n  and " + std::to_string(rows.size() - shown) + " more";
  return text;
}
