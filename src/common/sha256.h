// SHA-256 digests: of the files kvctl writes from (settings files, profile
// tables, firmware images) for the audit log, and of the firmware images the
// simulated tracker receives (sha256sum prints the same digits).
//
// Thread contract: a Sha256 object belongs to one thread; the functions are
// pure.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, std::size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // The digest of everything given so far; the object is spent afterwards.
  std::array<std::uint8_t, 32> Finish();

 private:
  void Compress(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> block_{};
  std::size_t blockUsed_ = 0;
  std::uint64_t totalBytes_ = 0;
};

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);
std::string Sha256Hex(const void* data, std::size_t size);
std::string DigestHex(const std::array<std::uint8_t, 32>& digest);
