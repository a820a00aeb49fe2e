// The Qt widgets behind a dialog, for the Qt build's tests and screenshot
// tools (the dialogs themselves never use them).
//
// Thread contract: GUI thread only.
#pragma once

#include <QWidget>

#include "ui/qt/dialog_window.h"
#include "ui/template_dialog.h"

namespace ui::qt {

inline QDialog* Window(const TemplateDialog& dialog) { return &dialog.Window(); }

inline QWidget* Control(const TemplateDialog& dialog, int id) { return dialog.Window().Control(id); }

template <class Widget>
Widget* ControlAs(const TemplateDialog& dialog, int id) {
  return qobject_cast<Widget*>(Control(dialog, id));
}

}  // namespace ui::qt

namespace ui::qt {

// The dialog whose window `widget` is (e.g. QApplication::activeModalWidget()), or null.
template <class Dialog = TemplateDialog>
Dialog* DialogOf(QWidget* widget) {
  auto* window = qobject_cast<DialogWindow*>(widget);
  return window != nullptr ? dynamic_cast<Dialog*>(&window->Dialog()) : nullptr;
}

}  // namespace ui::qt
