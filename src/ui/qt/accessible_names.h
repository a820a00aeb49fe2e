// Accessible names for a template's fields: every edit, combo box and list
// box gets the text of its caption, so a screen reader (or any tool that
// reads the accessibility tree) can tell the fields apart. A framed value
// display (the IMEI) keeps its value as its name, so that the value is what
// a screen reader reads. The caption is the static text just before the
// field in the template when it stands left of the field on the same row,
// otherwise the nearest static text left of it on that row; the label
// becomes the field's buddy, which ties caption and field by the label
// relation. A field without such a caption (a results list) takes its own
// template text, or else the dialog's caption.
//
// Thread contract: GUI thread only.
#pragma once

#include <vector>

#include <QWidget>

#include "ui/dialog_template.h"

namespace ui {

// Makes every combo box read by its accessible name (its caption) with its
// current text as value; done once, before the first combo box is made.
void InstallCaptionedComboBoxes();

// `widgets[i]` is the control made from `dialogTemplate.controls[i]`.
void NameFieldsAfterCaptions(const DialogTemplate& dialogTemplate, const std::vector<QWidget*>& widgets);

}  // namespace ui
