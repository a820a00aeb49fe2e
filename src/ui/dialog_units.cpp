#include "ui/dialog_units.h"

namespace ui {
namespace {
// Rounds a * b / c to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}
}  // namespace

DialogBaseUnits BaseUnitsFromMetrics(int lettersWidth, int height) {
  DialogBaseUnits units;
  units.cx = (lettersWidth / 26 + 1) / 2;
  units.cy = height;
  if (units.cx <= 0) units.cx = 1;
  if (units.cy <= 0) units.cy = 1;
  return units;
}

int DialogUnitsToPixelsX(const DialogBaseUnits& units, int x) { return MulDiv(x, units.cx, 4); }
int DialogUnitsToPixelsY(const DialogBaseUnits& units, int y) { return MulDiv(y, units.cy, 8); }

PixelRect DialogRectToPixels(const DialogBaseUnits& units, int x, int y, int cx, int cy) {
  const int left = DialogUnitsToPixelsX(units, x);
  const int top = DialogUnitsToPixelsY(units, y);
  const int right = DialogUnitsToPixelsX(units, x + cx);
  const int bottom = DialogUnitsToPixelsY(units, y + cy);
  return PixelRect{left, top, right - left, bottom - top};
}

PixelSize DialogSizeToPixels(const DialogBaseUnits& units, int cx, int cy) {
  return PixelSize{DialogUnitsToPixelsX(units, cx), DialogUnitsToPixelsY(units, cy)};
}

}  // namespace ui
