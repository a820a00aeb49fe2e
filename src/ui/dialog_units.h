// Dialog units to pixels, the way Windows maps a dialog template: the base
// units are the dialog font's average character width (measured over the 52
// Latin letters) and its character height; a horizontal dialog unit is a
// quarter of the width, a vertical one an eighth of the height. Measuring a
// font is the toolkit's part (qt/dialog_font.h); the mapping is plain
// arithmetic.
//
// Thread contract: plain functions, any thread.
#pragma once

namespace ui {

struct DialogBaseUnits {
  int cx = 8;   // average character width, pixels
  int cy = 16;  // character height, pixels
};

// A rectangle in pixels: left and top edge, width and height.
struct PixelRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int Right() const { return left + width - 1; }  // the last column inside
  bool operator==(const PixelRect&) const = default;
};

struct PixelSize {
  int width = 0;
  int height = 0;
};

// Base units from the width of the 52 Latin letters and the font's height.
DialogBaseUnits BaseUnitsFromMetrics(int lettersWidth, int height);

// MulDiv-style rounding, as Windows' MapDialogRect does.
int DialogUnitsToPixelsX(const DialogBaseUnits& units, int x);
int DialogUnitsToPixelsY(const DialogBaseUnits& units, int y);
PixelRect DialogRectToPixels(const DialogBaseUnits& units, int x, int y, int cx, int cy);
PixelSize DialogSizeToPixels(const DialogBaseUnits& units, int cx, int cy);

}  // namespace ui
