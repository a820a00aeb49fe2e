#include "screen_framebuffer.h"

#include <cstdint>
#include <cstring>

#include <QFile>

namespace xvfb {
namespace {

// XWD's header: big-endian 32-bit fields, in this order.
enum Field {
  kHeaderSize,
  kFileVersion,
  kPixmapFormat,
  kPixmapDepth,
  kPixmapWidth,
  kPixmapHeight,
  kXOffset,
  kByteOrder,
  kBitmapUnit,
  kBitmapBitOrder,
  kBitmapPad,
  kBitsPerPixel,
  kBytesPerLine,
  kVisualClass,
  kRedMask,
  kGreenMask,
  kBlueMask,
  kBitsPerRgb,
  kColormapEntries,
  kColorCount,
  kFieldCount
};
constexpr std::uint32_t kZPixmap = 2;
constexpr std::size_t kColorSize = 12;  // one XWDColor

std::uint32_t BigEndian(const uchar* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// The channel `mask` selects, as 0..255.
int Channel(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  return static_cast<int>((pixel & mask) >> shift) & 0xff;
}

}  // namespace

QImage ReadFramebuffer(const QString& path, const QRect& area) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const qint64 size = file.size();
  const uchar* data = file.map(0, size);
  if (data == nullptr || size < kFieldCount * 4) return {};
  std::uint32_t h[kFieldCount];
  for (int i = 0; i < kFieldCount; ++i) h[i] = BigEndian(data + 4 * i);
  if (h[kPixmapFormat] != kZPixmap || h[kBitsPerPixel] != 32 || h[kPixmapDepth] < 24) return {};
  const QRect screen(0, 0, static_cast<int>(h[kPixmapWidth]), static_cast<int>(h[kPixmapHeight]));
  if (!screen.contains(area)) return {};
  const qint64 pixels = qint64{h[kHeaderSize]} + qint64{h[kColorCount]} * qint64{kColorSize};
  if (pixels + qint64{h[kBytesPerLine]} * screen.height() > size) return {};
  const bool littleEndian = h[kByteOrder] == 0;
  QImage image(area.size(), QImage::Format_RGB32);
  for (int y = 0; y < area.height(); ++y) {
    const uchar* line = data + pixels + qint64{h[kBytesPerLine]} * (area.y() + y) + 4 * area.x();
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < area.width(); ++x) {
      const uchar* p = line + 4 * x;
      const std::uint32_t pixel =
          littleEndian ? (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0]
                       : BigEndian(p);
      out[x] = qRgb(Channel(pixel, h[kRedMask]), Channel(pixel, h[kGreenMask]), Channel(pixel, h[kBlueMask]));
    }
  }
  return image;
}

}  // namespace xvfb
