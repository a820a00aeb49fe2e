// Fuzzes the settings message parser: a read-back text of any length and
// content, applied as any message number in either layout, must never read or
// write outside its copy area and field table. A record built back from the
// result must again be a message the builder can bound.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "settings/device_settings.h"
#include "settings/settings_message.h"

using namespace settings;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const unsigned messageNumber = data[0] % 6;  // 0 and 5 are no message
  const SettingsLayout layout = (data[0] & 0x80) ? SettingsLayout::Basic : SettingsLayout::Extended;
  // An exact-size heap copy: any read past the text is caught.
  std::vector<char> text(data + 1, data + size);
  DeviceSettings record = DeviceSettings::DialogStart();
  ApplyMessage(record, layout, text.data(), messageNumber, text.size());

  char buffer[MESSAGE_BUFFER_SIZE];
  for (unsigned n = 1; n <= 4; ++n) {
    const std::size_t length = BuildMessage(record, layout, n, buffer, sizeof buffer);
    if (length < MESSAGE_BUFFER_SIZE && buffer[length] != '\0') __builtin_trap();
  }
  return 0;
}
