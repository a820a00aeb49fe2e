// The four settings messages the tracker keeps in its GSM module's message
// store, and the conversion between them and a settings record.
//
// A message is a sequence of fields, each followed by a comma, and one
// carriage return after the last comma; nothing else. Field values are
// taken from the record as FieldText gives them. A message text and its
// terminating NUL must fit into MESSAGE_BUFFER_SIZE bytes.
//
// Thread contract: pure functions on caller-owned data; no shared state.
#pragma once

#include <cstddef>
#include <string>

#include "settings/device_settings.h"

namespace settings {

constexpr std::size_t MESSAGE_BUFFER_SIZE = 128;
constexpr std::size_t MESSAGE_MAX_LENGTH = MESSAGE_BUFFER_SIZE - 1;

// Reading side limits: characters taken before the walk stops, and fields
// whose start is kept.
constexpr std::size_t MESSAGE_COPY_AREA_CHARS = 256;
constexpr std::size_t MESSAGE_FIELD_TABLE_SIZE = 128;

// The full text of message `messageNumber` (1 to 4) in a layout, whatever
// its length; empty for any other number.
std::string BuildMessageText(const DeviceSettings& s, SettingsLayout layout, unsigned messageNumber);

// Fills all `capacity` bytes of `buffer` with zeros and copies the message
// text into it when the text fits together with its NUL; otherwise the
// buffer stays all zero. Returns the text's length either way, so a caller
// can tell an empty message from one that did not fit.
std::size_t BuildMessage(const DeviceSettings& s, SettingsLayout layout, unsigned messageNumber, char* buffer,
                         std::size_t capacity);

// Puts the fields of a message text read back from the tracker into the
// record. At most `count` characters from `text` are examined (no NUL is
// needed): a line feed ends the text, as do MESSAGE_COPY_AREA_CHARS
// characters or a comma that would start field MESSAGE_FIELD_TABLE_SIZE + 1;
// the rest is ignored. A NUL inside a field ends that field.
//
// Fields the text does not reach leave their values unchanged, except that
// message 1 without field 11 sets the report mode to "Stop report". Field 5
// of message 1 sets both the motion report count and the cell-id switch in
// either layout; fields 16 to 20 are read in the extended layout only.
// Fields beyond those of the message are ignored; so is any message number
// other than 1 to 4.
void ApplyMessage(DeviceSettings& s, SettingsLayout layout, const char* text, unsigned messageNumber,
                  std::size_t count);

}  // namespace settings
