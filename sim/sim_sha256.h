// SHA-256 of a received firmware image, so a run of the simulator can be
// checked against the file that was sent (sha256sum prints the same digits).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

class Sha256 {
 public:
  Sha256();
  void Update(const unsigned char* data, std::size_t length);
  std::array<unsigned char, 32> Finish();

 private:
  void Compress(const unsigned char* block);

  std::array<std::uint32_t, 8> state_;
  unsigned char block_[64];
  std::size_t blockLength_ = 0;
  std::uint64_t totalLength_ = 0;
};

// Lower-case hex digest of data.
std::string Sha256Hex(const unsigned char* data, std::size_t length);

}  // namespace sim
