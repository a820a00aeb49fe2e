#include "sim_fault_options.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace sim {
namespace {

bool Fail(std::string* error, std::string text) {
  if (error != nullptr) *error = std::move(text);
  return false;
}

template <typename T>
bool ParseUnsigned(std::string_view text, T& out) {
  std::uint64_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) return false;
  if (v > std::numeric_limits<T>::max()) return false;
  out = static_cast<T>(v);
  return true;
}

bool ParseBlock(std::string_view text, int& out) {
  unsigned v = 0;
  if (!ParseUnsigned(text, v) || v > 0x7FFFFFFF) return false;
  out = static_cast<int>(v);
  return true;
}

bool ParseRate(std::string_view text, double& out) {
  if (text.empty() || text.size() > 32) return false;
  const std::string copy(text);
  char* end = nullptr;
  const double v = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !(v >= 0.0 && v <= 1.0)) return false;
  out = v;
  return true;
}

bool ParseSwitch(std::string_view text, bool& out) {
  if (text.empty() || text == "1" || text == "on" || text == "yes") return out = true, true;
  if (text == "0" || text == "off" || text == "no") return out = false, true;
  return false;
}

}  // namespace

bool ParseBootOption(std::string_view name, std::string_view value, BootOptions& o, std::string* error) {
  bool ok = false;
  if (name == "boot-start") {
    ok = true;
    if (value == "C") o.startChar = 'C';
    else if (value == "NAK") o.startChar = 0x15;
    else if (value == "G") o.startChar = 'G';
    else ok = false;
  } else if (name == "boot-start-interval") {
    ok = ParseUnsigned(value, o.startIntervalMs) && o.startIntervalMs > 0;
  } else if (name == "boot-start-tries") {
    ok = ParseUnsigned(value, o.startTries) && o.startTries > 0;
  } else if (name == "boot-nak-every") {
    ok = ParseUnsigned(value, o.nakEveryNth);
  } else if (name == "boot-nak-first-eot") {
    ok = ParseSwitch(value, o.nakFirstEot);
  } else if (name == "boot-crc-request-at") {
    ok = ParseBlock(value, o.crcRequestAtBlock);
  } else if (name == "boot-silent-after") {
    ok = ParseBlock(value, o.silentAfterBlock);
  } else if (name == "boot-cancel-at") {
    ok = ParseBlock(value, o.cancelAtBlock);
  } else {
    return Fail(error, "unknown option --" + std::string(name));
  }
  if (!ok) return Fail(error, "bad value for --" + std::string(name) + ": " + std::string(value));
  return true;
}

bool ParseLineOption(std::string_view name, std::string_view value, LineOptions& o, std::string* error) {
  bool ok = false;
  if (name == "line-baud") {
    ok = ParseUnsigned(value, o.baudRate) && o.baudRate >= 50;
  } else if (name == "line-latency") {
    ok = ParseUnsigned(value, o.latencyMs) && o.latencyMs <= 60000;
  } else if (name == "line-bit-errors") {
    ok = ParseRate(value, o.bitErrorRate);
  } else if (name == "line-drops") {
    ok = ParseRate(value, o.dropRate);
  } else if (name == "line-pull-cable-after") {
    ok = ParseUnsigned(value, o.pullCableAfterBytes);
  } else if (name == "line-seed") {
    ok = ParseUnsigned(value, o.seed);
  } else {
    return Fail(error, "unknown option --" + std::string(name));
  }
  if (!ok) return Fail(error, "bad value for --" + std::string(name) + ": " + std::string(value));
  return true;
}

std::string_view BootOptionsUsage() {
  return "Boot loader:\n"
         "  --boot-start=C|NAK|G        start character: CRC, checksum, or CRC streamed\n"
         "  --boot-start-interval=MS    repeat the start character this often (1000)\n"
         "  --boot-start-tries=N        give up after so many unanswered start characters (300)\n"
         "  --boot-nak-every=N          answer every Nth block with NAK (1: every block)\n"
         "  --boot-nak-first-eot        answer the first EOT with NAK\n"
         "  --boot-crc-request-at=K     answer block K, sent with a checksum, with \"C\"\n"
         "  --boot-silent-after=K       answer nothing after block K (0: the header)\n"
         "  --boot-cancel-at=K          answer block K with CAN CAN\n";
}

std::string_view LineOptionsUsage() {
  return "Line (faults on the bytes from the tool):\n"
         "  --line-baud=N               pace the line at N baud (10 bits per byte)\n"
         "  --line-latency=MS           add MS of latency in each direction\n"
         "  --line-bit-errors=RATE      flip one bit in this share of the bytes from the tool\n"
         "  --line-drops=RATE           lose this share of the bytes from the tool\n"
         "  --line-pull-cable-after=N   pull the cable after N bytes from the tool\n"
         "  --line-seed=N               seed of the fault generator (1)\n";
}

}  // namespace sim
