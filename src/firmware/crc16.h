// CRC-16 of the block trailer: polynomial 0x1021, initial value 0, bits not
// reflected, no final XOR ("123456789" gives 0x31C3).
//
// Thread contract: pure function, any thread.
#pragma once

#include <cstddef>
#include <cstdint>

std::uint16_t Crc16Xmodem(const std::uint8_t* data, std::size_t length);
