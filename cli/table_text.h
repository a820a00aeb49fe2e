// The text of a profile table's cells as a tracker's messages carry it: code
// page 1252, as a settings file with a byte-order mark is read. A table saved
// as UTF-8 (with or without a byte-order mark) is converted cell by cell; a
// table that is not UTF-8 is taken byte for byte, as code page 1252 already.
// A cell is one line of text: control bytes are refused, as is a character
// the code page cannot hold, each with its place in the cell.
//
// Thread contract: pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

enum class TableEncoding { Ansi, Utf8 };

// UTF-8 when the bytes start with its byte-order mark, or when they hold
// bytes above 0x7F and every such byte belongs to a well-formed UTF-8
// sequence; code page 1252 otherwise.
TableEncoding DetectTableEncoding(std::string_view bytes);

// The cell in code page 1252; false with the reason (e.g. "a control byte
// (0x00) at character 4") in `problem`, which names no row or column.
bool CellToAnsi(std::string_view cell, TableEncoding encoding, std::string& text, std::string& problem);
