// Reading a CSV table as spreadsheet programs save it: fields separated by
// commas, records ended by CR LF, LF or CR; a field in double quotes may hold
// commas, line ends and doubled quotes (""); a UTF-8 byte-order mark at the
// start is dropped. A quote inside an unquoted field is an ordinary
// character. Records in which every field is empty (blank lines, ",,,")
// are left out; the others keep the number they have in the file, counted
// from 1 as a spreadsheet counts its rows.
//
// Thread contract: pure function; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct CsvRecord {
  std::size_t row = 0;  // number of the record in the file, from 1
  std::vector<std::string> fields;
};

// Splits `bytes` into records; false with a message naming the row (and
// column) in `error` for a quote left open or text after a closing quote.
bool ParseCsv(std::string_view bytes, std::vector<CsvRecord>& records, std::string& error);
