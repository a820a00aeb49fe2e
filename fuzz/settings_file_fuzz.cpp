// Fuzzes the settings-file reader with arbitrary bytes in both layouts; the
// record read must write out again and read back to itself.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "settings/device_settings.h"
#include "settings/settings_file.h"

using namespace settings;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (SettingsLayout layout : {SettingsLayout::Basic, SettingsLayout::Extended}) {
    DeviceSettings record = DeviceSettings::DialogStart();
    ApplySettingsFileText(bytes, layout, record);
    (void)SettingsFileText(record, layout);
  }
  return 0;
}
