#include "ui/qt/accessible_names.h"

#include <QLabel>

#include "ui/qt/text.h"
#include "ui/window_styles.h"

namespace ui {
namespace {

bool IsCaption(const ControlTemplate& c) {
  return c.cls == ControlClass::Static && !c.text.empty() && (c.style & WS_BORDER) == 0 &&
         (c.style & SS_SUNKEN) == 0;
}

bool IsField(const ControlTemplate& c) {
  switch (c.cls) {
    case ControlClass::Edit:
    case ControlClass::ComboBox:
    case ControlClass::ListBox: return true;
    // A framed static shows a value (the IMEI), not a caption.
    case ControlClass::Static: return (c.style & (WS_BORDER | SS_SUNKEN)) != 0;
    default: return false;
  }
}

// The caption stands left of the field and shares its row. A combo's
// template height includes its drop-down list, so the row is its top line.
bool LeftOnSameRow(const ControlTemplate& caption, const ControlTemplate& field) {
  const int rowTop = field.y;
  const int rowBottom = field.y + (field.cls == ControlClass::ComboBox ? 12 : field.cy);
  const bool sharesRow = caption.y < rowBottom && caption.y + caption.cy > rowTop;
  return sharesRow && caption.x + caption.cx <= field.x + 1;
}

int CaptionOf(const DialogTemplate& t, std::size_t field) {
  const ControlTemplate& f = t.controls[field];
  if (field > 0 && IsCaption(t.controls[field - 1]) && LeftOnSameRow(t.controls[field - 1], f))
    return static_cast<int>(field - 1);
  int best = -1;
  for (std::size_t i = 0; i < t.controls.size(); ++i) {
    const ControlTemplate& c = t.controls[i];
    if (!IsCaption(c) || !LeftOnSameRow(c, f)) continue;
    if (best < 0 || c.x + c.cx > t.controls[best].x + t.controls[best].cx) best = static_cast<int>(i);
  }
  return best;
}

}  // namespace

void NameFieldsAfterCaptions(const DialogTemplate& t, const std::vector<QWidget*>& widgets) {
  for (std::size_t i = 0; i < t.controls.size() && i < widgets.size(); ++i) {
    const ControlTemplate& c = t.controls[i];
    if (!IsField(c)) continue;
    const int caption = CaptionOf(t, i);
    // The caption labels the field (a screen reader's label relation).
    if (caption >= 0) {
      if (auto* label = qobject_cast<QLabel*>(widgets[caption])) label->setBuddy(widgets[i]);
    }
    // A value display (the IMEI) is read by its value (SetItemText keeps it).
    if (c.cls == ControlClass::Static) {
      widgets[i]->setAccessibleName(ToQt(c.text));
      continue;
    }
    const QString name = caption >= 0 ? ToQt(t.controls[caption].text).trimmed()
                                      : ToQt(c.text.empty() ? t.caption : c.text).trimmed();
    widgets[i]->setAccessibleName(name);
  }
}

}  // namespace ui
