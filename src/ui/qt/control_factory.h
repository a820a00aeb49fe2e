// Makes the widget for one control of a dialog template: the class decides
// the widget (Button: QPushButton, or QCheckBox/QGroupBox by its button type;
// Static: QLabel; Edit: QLineEdit; ComboBox: QComboBox; ListBox: QListWidget;
// Progress: ProgressCtrl; GroupBox: QGroupBox), the style bits its
// properties (disabled, hidden, read-only, digits only, default button,
// alignment, border, selection mode), the geometry its place in pixels.
//
// Thread contract: GUI thread only.
#pragma once

#include <QComboBox>
#include <QWidget>

#include "ui/dialog_template.h"
#include "ui/dialog_units.h"

namespace ui {

// The widget's object name is "control<id>" (e.g. "control1084"), so
// tests and style sheets can find controls by id.
// Widens a combo box's drop-down list so that its items show whole, even
// where the closed box is narrower than the longest one.
void WidenDropDown(QComboBox* combo);

QWidget* CreateControl(const ControlTemplate& control, const DialogBaseUnits& units, QWidget* parent);

}  // namespace ui
