// Per-tracker values for provisioning a box of trackers: a CSV table whose
// first row names the columns, "IMEI" and then keys of the settings file
// (matched without regard to letter case, as the settings file matches
// them); each later row holds one tracker's values. A row's non-empty cells
// replace the base settings file's values for the tracker with that IMEI;
// an empty cell keeps the base file's value.
//
// Cells are text in code page 1252, as the tracker gets it: a UTF-8 table
// (with or without a byte-order mark) is converted (table_text.h).
//
// The whole table is checked before any tracker is touched: a control byte
// or a character code page 1252 cannot hold in a cell, an unknown or
// repeated column, a row with another number of cells, an IMEI that is not
// 15 digits or appears twice, a value longer than a settings file keeps, a
// list value the list does not hold, letters where the dialog takes digits
// only, and a value the settings check refuses (a comma or control byte, or
// a message too long with the row's values) all fail, naming the row (and
// the column). The checks take time in proportion to the table's size.
//
// Thread contract: a UnitProfiles is an immutable value once parsed; any
// number of threads may read it.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <unordered_map>
#include <string_view>
#include <vector>

#include "settings/device_settings.h"

struct UnitProfile {
  std::size_t row = 0;  // row in the file, from 1 (the header is row 1)
  std::string imei;
  std::vector<std::string> values;  // one per column, in the columns' order
};

class UnitProfiles {
 public:
  // Parses the table's bytes; false with the reason (naming row and
  // column) in `error`.
  bool Parse(std::string_view bytes, std::string& error);

  // Checks every row's values applied to the base file's bytes in both
  // layouts, as they would be written; false with the first problem, also
  // one the row keeps from the base file.
  bool CheckAgainst(std::string_view baseFileBytes, std::string& error) const;

  // The row for an IMEI, or null.
  const UnitProfile* Find(std::string_view imei) const;

  // The settings the row gives a value (its non-empty cells).
  std::vector<settings::SettingId> Supplied(const UnitProfile& profile) const;

  // The rows whose IMEI is not among `imeis`, in the table's order.
  std::vector<const UnitProfile*> Unmatched(const std::set<std::string>& imeis) const;

  // Replaces the record's values by the row's non-empty cells.
  void Apply(const UnitProfile& profile, settings::DeviceSettings& record) const;

  const std::vector<UnitProfile>& Rows() const { return rows_; }

 private:
  std::string Where(std::size_t row, std::size_t columnIndex) const;

  std::vector<settings::SettingId> columns_;
  std::vector<std::string> headers_;  // as written in the file
  std::vector<UnitProfile> rows_;
  std::unordered_map<std::string, std::size_t> rowOfImei_;  // index into rows_
};

// Reads and parses a table file; false with the reason (the file's name and
// what is wrong) in `error`. `bytes` receives the file's contents.
bool LoadUnitProfiles(const std::string& path, UnitProfiles& profiles, std::string& bytes, std::string& error);

// For the summary of set and watch set: "N rows of PATH matched no tracker:"
// and a line per row (the first `shown`, then how many more), or empty when
// every row matched one of `imeis`.
std::string DescribeUnmatchedRows(const UnitProfiles& profiles, const std::string& path,
                                  const std::set<std::string>& imeis, std::size_t shown = 20);
