// Fuzzes the settings reader's look at received bytes: any bytes, in any
// reply mode, arriving in pieces of any size, must never be read or written
// outside the receive buffer, and what is kept must fit it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "settings/settings_exchange_state.h"

using namespace settings;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  ExchangeState state(ExchangeCallbacks{}, (data[0] & 0x80) ? SettingsLayout::Basic : SettingsLayout::Extended, "");
  state.SetRecord(DeviceSettings::DialogStart());
  state.m_nReplyMode = data[0] % 7;               // 6 is no mode the workers use
  if (data[0] & 0x40) state.BeginVersionQuery();  // version answers count too
  const std::size_t piece = data[1] ? data[1] : 256;
  DWORD held = 0;
  for (std::size_t at = 2; at < size;) {
    const std::size_t room = SETTINGS_RX_BUFFER_SIZE - 1 - held;
    const std::size_t got = std::min({piece, size - at, room});
    std::memcpy(state.m_rxBuffer + held, data + at, got);
    at += got;
    held = ProcessReceived(state, held, static_cast<DWORD>(got));
    if (held >= SETTINGS_RX_BUFFER_SIZE - 1) __builtin_trap();
  }
  return 0;
}
