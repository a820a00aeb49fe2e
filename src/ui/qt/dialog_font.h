// The font a dialog template names, and its base units (dialog_units.h).
//
// Thread contract: GUI thread only (fonts and their metrics are Qt GUI objects).
#pragma once

#include <string>

#include <QFont>
#include <QRect>
#include <QSize>

#include "ui/dialog_units.h"

namespace ui::qt {

// "System" (and "MS Shell Dlg") stand for the platform's general dialog
// font; other names are looked up as given.
QFont DialogFont(const std::string& faceName, int pointSize);
DialogBaseUnits BaseUnitsOf(const QFont& font);

inline QRect ToQRect(const PixelRect& r) { return QRect(r.left, r.top, r.width, r.height); }
inline QSize ToQSize(const PixelSize& s) { return QSize(s.width, s.height); }
inline PixelRect FromQRect(const QRect& r) { return PixelRect{r.left(), r.top(), r.width(), r.height()}; }

}  // namespace ui::qt
