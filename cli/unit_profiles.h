// Per-tracker values for provisioning a box of trackers: a CSV table whose
// first row names the columns, "IMEI" and then keys of the settings file
// (matched without regard to letter case, as the settings file matches
// them); each later row holds one tracker's values. A row's non-empty cells
// replace the base settings file's values for the tracker with that IMEI;
// an empty cell keeps the base file's value.
//
// The whole table is checked before any tracker is touched: an unknown or
// repeated column, a row with another number of cells, an IMEI that is not
// all digits or appears twice, a value longer than a settings file keeps, a
// list value the list does not hold, letters where the dialog takes digits
// only, and a value the settings check refuses (a comma or control byte, or
// a message grown too long by the row's values) all fail, naming the row
// and the column.
//
// Thread contract: a UnitProfiles is an immutable value once parsed; any
// number of threads may read it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "settings/device_settings.h"

struct UnitProfile {
  std::size_t row = 0;              // row in the file, from 1 (the header is row 1)
  std::string imei;
  std::vector<std::string> values;  // one per column, in the columns' order
};

class UnitProfiles {
 public:
  // Parses the table's bytes; false with the reason (naming row and
  // column) in `error`.
  bool Parse(std::string_view bytes, std::string& error);

  // Checks every row's values applied to the base file's bytes in both
  // layouts, as they would be written; false with the first problem.
  bool CheckAgainst(std::string_view baseFileBytes, std::string& error) const;

  // The row for an IMEI, or null.
  const UnitProfile* Find(std::string_view imei) const;

  // Replaces the record's values by the row's non-empty cells.
  void Apply(const UnitProfile& profile, settings::DeviceSettings& record) const;

  const std::vector<UnitProfile>& Rows() const { return rows_; }
  const std::vector<settings::SettingId>& Columns() const { return columns_; }

 private:
  std::string Where(std::size_t row, std::size_t columnIndex) const;

  std::vector<settings::SettingId> columns_;
  std::vector<std::string> headers_;  // as written in the file
  std::vector<UnitProfile> rows_;
};

// Reads and parses a table file; false with the reason (the file's name and
// what is wrong) in `error`. `bytes` receives the file's contents.
bool LoadUnitProfiles(const std::string& path, UnitProfiles& profiles, std::string& bytes,
                      std::string& error);
