#include "csv_table.h"

namespace {

bool AllEmpty(const std::vector<std::string>& fields) {
  for (const auto& f : fields)
    if (!f.empty()) return false;
  return true;
}

}  // namespace

bool ParseCsv(std::string_view bytes, std::vector<CsvRecord>& records, std::string& error) {
  records.clear();
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  std::size_t at = 0, row = 1;
  CsvRecord record;
  record.row = row;
  std::string field;
  auto endRecord = [&] {
    record.fields.push_back(std::move(field));
    field.clear();
    if (!AllEmpty(record.fields)) records.push_back(std::move(record));
    record = CsvRecord{};
    record.row = ++row;
  };
  bool fieldStarted = false;  // something of the current record was read
  while (at < bytes.size()) {
    const char c = bytes[at];
    if (c == '"' && field.empty()) {
      // A quoted field: up to the lone closing quote.
      const std::size_t column = record.fields.size() + 1;
      const std::size_t startRow = row;
      ++at;
      bool closed = false;
      while (at < bytes.size()) {
        if (bytes[at] == '"') {
          if (at + 1 < bytes.size() && bytes[at + 1] == '"') {
            field += '"';
            at += 2;
            continue;
          }
          ++at;
          closed = true;
          break;
        }
        field += bytes[at++];
      }
      if (!closed) {
        error = "row " + std::to_string(startRow) + ", column " + std::to_string(column) +
                ": a quoted field is not closed before the end of the file";
        return false;
      }
      if (at < bytes.size() && bytes[at] != ',' && bytes[at] != '\r' && bytes[at] != '\n') {
        error = "row " + std::to_string(startRow) + ", column " + std::to_string(column) +
                ": text after the closing quote of a quoted field";
        return false;
      }
      fieldStarted = true;
      continue;
    }
    if (c == ',') {
      record.fields.push_back(std::move(field));
      field.clear();
      fieldStarted = true;
      ++at;
    } else if (c == '\r' || c == '\n') {
      at += (c == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') ? 2 : 1;
      endRecord();
      fieldStarted = false;
    } else {
      field += c;
      fieldStarted = true;
      ++at;
    }
  }
  if (fieldStarted) endRecord();
  return true;
}
