#include "firmware_rig.h"

#include <chrono>
#include <cstring>

#include "firmware/crc16.h"

namespace kvtest {

std::vector<unsigned char> PatternImage(std::size_t n, std::uint32_t seed) {
  std::vector<unsigned char> data(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<unsigned char>(x >> 11);
  }
  return data;
}

int MemorySource::Read(BYTE* buffer, int maxBytes) {
  const std::size_t n = std::min(data_.size() - pos_, static_cast<std::size_t>(maxBytes));
  if (n > 0) std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  return static_cast<int>(n);
}

BootLoaderRig::BootLoaderRig(sim::BootOptions boot, sim::LineOptions line)
    : lineOptions_(line), loader_([&] {
        boot.frameObserver = [this](const sim::BootFrame& f) {
          std::lock_guard<std::mutex> lock(framesLock_);
          frames_.push_back(f);
        };
        return boot;
      }()) {}

BootLoaderRig::~BootLoaderRig() {
  loader_.Stop();
  if (thread_.joinable()) thread_.join();
  channel_.Close();
  line_.Close();
}

bool BootLoaderRig::Start(bool serveLoader, bool openChannel) {
  if (!line_.Open(lineOptions_)) return false;
  if (serveLoader) thread_ = std::thread([this] { loader_.Run(line_); });
  if (!openChannel) return true;
  if (channel_.Open(line_.PortPath().c_str()) != TRANSFER_OK) return false;
  return channel_.Configure(115200) == TRANSFER_OK;
}

void BootLoaderRig::FinishLoader() {
  // The loader ends by itself after its batch; a bound keeps a broken run from hanging the test.
  const auto giveUpAt = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (loader_.LastOutcome() == sim::BootOutcome::None && std::chrono::steady_clock::now() < giveUpAt)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  StopLoader();
}

void BootLoaderRig::StopLoader() {
  loader_.Stop();
  if (thread_.joinable()) thread_.join();
}

std::vector<sim::BootFrame> BootLoaderRig::Frames() const {
  std::lock_guard<std::mutex> lock(framesLock_);
  return frames_;
}

std::vector<unsigned char> ExpectedFrame(unsigned char number, const unsigned char* data, std::size_t n,
                                         std::size_t blockSize, bool crc) {
  std::vector<unsigned char> f;
  f.push_back(blockSize == 1024 ? 0x02 : 0x01);
  f.push_back(number);
  f.push_back(static_cast<unsigned char>(0xFF - number));
  f.insert(f.end(), data, data + n);
  f.resize(3 + blockSize, 0x1A);
  if (crc) {
    const std::uint16_t c = Crc16Xmodem(f.data() + 3, blockSize);
    f.push_back(static_cast<unsigned char>(c >> 8));
    f.push_back(static_cast<unsigned char>(c & 0xFF));
  } else {
    unsigned sum = 0;
    for (std::size_t i = 0; i < blockSize; ++i) sum += f[3 + i];
    f.push_back(static_cast<unsigned char>(sum));
  }
  return f;
}

}  // namespace kvtest
