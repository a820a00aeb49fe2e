// Accessible names for a template's fields: every edit, combo box, list box
// and framed value display gets the text of its caption, so a screen reader
// (or any tool that reads the accessibility tree) can tell the fields apart.
// The caption is the static text just before the field in the template when
// it stands left of the field on the same row, otherwise the nearest static
// text left of it on that row; the label becomes the field's buddy. A field
// without such a caption (a results list) takes its own template text, or
// else the dialog's caption.
//
// Thread contract: GUI thread only.
#pragma once

#include <vector>

#include <QWidget>

#include "ui/dialog_template.h"

namespace ui {

// `widgets[i]` is the control made from `dialogTemplate.controls[i]`.
void NameFieldsAfterCaptions(const DialogTemplate& dialogTemplate, const std::vector<QWidget*>& widgets);

}  // namespace ui
