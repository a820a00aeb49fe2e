#include "ui/qt/accessible_names.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "ui/qt/text.h"
#include "ui/window_styles.h"

namespace ui {
namespace {

bool IsCaption(const ControlTemplate& c) {
  return c.cls == ControlClass::Static && !c.text.empty() && (c.style & WS_BORDER) == 0 && (c.style & SS_SUNKEN) == 0;
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

// A combo box as a screen reader sees it: named by its accessible name (its
// caption) and valued by its current text. Qt's own combo interface on X
// reports the current text as the name and ignores the accessible name, so
// a screen reader announced "ttyUSB0" or "UTC" instead of the caption.
// Children are the drop-down list and, for an editable box, its edit field,
// as in Qt's own interface; the box's drop-down opens by the press and
// show-menu actions.
class CaptionedComboBox : public QAccessibleWidget {
 public:
  explicit CaptionedComboBox(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

  QString text(QAccessible::Text t) const override {
    switch (t) {
      case QAccessible::Name: {
        const QString name = widget()->accessibleName();
        return name.isEmpty() ? Current() : name;
      }
      case QAccessible::Value: return Current();
      default: return QAccessibleWidget::text(t);
    }
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.editable = Combo()->isEditable();
    s.expandable = true;
    s.expanded = Combo()->view() != nullptr && Combo()->view()->isVisible();
    return s;
  }

  int childCount() const override { return Edit() != nullptr ? 2 : 1; }

  QAccessibleInterface* child(int index) const override {
    if (index == 0) return QAccessible::queryAccessibleInterface(Combo()->view());
    if (index == 1 && Edit() != nullptr) return QAccessible::queryAccessibleInterface(Edit());
    return nullptr;
  }

  int indexOfChild(const QAccessibleInterface* child) const override {
    if (child == nullptr) return -1;
    if (child->object() == Combo()->view()) return 0;
    if (Edit() != nullptr && child->object() == Edit()) return 1;
    return -1;
  }

  QAccessibleInterface* childAt(int x, int y) const override {
    if (Edit() != nullptr && Edit()->rect().contains(Edit()->mapFromGlobal(QPoint(x, y))))
      return QAccessible::queryAccessibleInterface(Edit());
    return nullptr;
  }

  QStringList actionNames() const override {
    return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
  }

  void doAction(const QString& action) override {
    if (action != showMenuAction() && action != pressAction()) {
      QAccessibleWidget::doAction(action);
      return;
    }
    if (Combo()->view() != nullptr && Combo()->view()->isVisible()) {
      Combo()->hidePopup();
    } else {
      Combo()->showPopup();
    }
  }

 private:
  QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }
  QLineEdit* Edit() const { return Combo()->isEditable() ? Combo()->lineEdit() : nullptr; }
  QString Current() const { return Edit() != nullptr ? Edit()->text() : Combo()->currentText(); }
};

QAccessibleInterface* CaptionedComboBoxFactory(const QString& className, QObject* object) {
  if (className != QLatin1String("QComboBox")) return nullptr;
  auto* combo = qobject_cast<QComboBox*>(object);
  return combo != nullptr ? new CaptionedComboBox(combo) : nullptr;
}

}  // namespace

void InstallCaptionedComboBoxes() {
  // The last factory installed is asked first: this one before Qt's own.
  static const bool installed = [] {
    QAccessible::installFactory(&CaptionedComboBoxFactory);
    return true;
  }();
  (void)installed;
}

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
    const QString name =
        caption >= 0 ? ToQt(t.controls[caption].text).trimmed() : ToQt(c.text.empty() ? t.caption : c.text).trimmed();
    widgets[i]->setAccessibleName(name);
  }
}

}  // namespace ui
