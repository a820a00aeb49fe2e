// Dialog units to pixels, the way Windows maps a dialog template: the base
// units are the dialog font's average character width (measured over the 52
// Latin letters) and its character height; a horizontal dialog unit is a
// quarter of the width, a vertical one an eighth of the height.
//
// Thread contract: GUI thread only (fonts and their metrics are Qt GUI objects).
#pragma once

#include <string>

#include <QFont>
#include <QRect>
#include <QSize>

namespace ui {

struct DialogBaseUnits {
  int cx = 8;   // average character width, pixels
  int cy = 16;  // character height, pixels
};

// The font a template names. "System" (and "MS Shell Dlg") stand for the
// platform's general dialog font; other names are looked up as given.
QFont DialogFont(const std::string& faceName, int pointSize);

DialogBaseUnits BaseUnitsOf(const QFont& font);

// MulDiv-style rounding, as Windows' MapDialogRect does.
int DialogUnitsToPixelsX(const DialogBaseUnits& units, int x);
int DialogUnitsToPixelsY(const DialogBaseUnits& units, int y);
QRect DialogRectToPixels(const DialogBaseUnits& units, int x, int y, int cx, int cy);
QSize DialogSizeToPixels(const DialogBaseUnits& units, int cx, int cy);

}  // namespace ui
