// Command-line options of the simulated line and boot loader, for kvsim:
// the program splits "--NAME=VALUE" (or "--NAME" alone, value empty) and hands
// NAME (without the dashes) and VALUE here. Each parser returns false for a name it does not know
// or a value it cannot take; `error` then says which.
//
// Thread contract: pure functions, main thread.
#pragma once

#include <string>
#include <string_view>

#include "sim_boot_loader.h"
#include "sim_line.h"

namespace sim {

// boot-start, boot-start-interval, boot-start-tries, boot-nak-every,
// boot-nak-first-eot, boot-crc-request-at, boot-silent-after, boot-cancel-at.
bool ParseBootOption(std::string_view name, std::string_view value, BootOptions& options, std::string* error = nullptr);

// line-baud, line-latency, line-bit-errors, line-drops, line-pull-cable-after, line-seed.
bool ParseLineOption(std::string_view name, std::string_view value, LineOptions& options, std::string* error = nullptr);

// A heading and one line per option ("  --name=VALUE  what it does"), for
// kvsim --help.
std::string_view BootOptionsUsage();
std::string_view LineOptionsUsage();

}  // namespace sim
