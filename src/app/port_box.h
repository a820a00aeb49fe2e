// The main window's port box keeps showing the port that will be used. The
// box is editable, but typed text is never a port name of its own: text that
// names a listed port selects that item, any other text gives way to the
// selected item's text. The window settles the box before Start, Setting,
// Update and Scan COM Port act, and whenever the box loses the focus.
//
// Thread contract: GUI thread only.
#pragma once

#include <string>

#include "ui/template_dialog.h"

class PortBox {
 public:
  // The editable combo box `id` of `dialog`.
  PortBox(ui::TemplateDialog& dialog, int id) : dialog_(dialog), id_(id) {}

  // Selects the listed port the typed text names, or puts the selected
  // item's text back (empty when nothing is selected).
  void Settle();

 private:
  // The index of the item that names the same port as `text`, or -1.
  int ItemNaming(const std::string& text) const;

  ui::TemplateDialog& dialog_;
  int id_;
};
