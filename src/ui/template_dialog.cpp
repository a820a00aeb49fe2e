#include "ui/template_dialog.h"

#include <algorithm>
#include <vector>

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/accessible_names.h"
#include "ui/application.h"
#include "ui/control_factory.h"
#include "ui/text.h"

namespace ui {
namespace {

Qt::WindowFlags FlagsFor(DWORD style) {
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
  if ((style & WS_CAPTION) == WS_CAPTION) flags |= Qt::WindowTitleHint;
  if (style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
  return flags;
}

QWidget* OwnerFor(QWidget* parent) {
  if (parent != nullptr) return parent;
  return MainWindow();
}

bool CanTakeFocus(const QWidget* w) { return w->focusPolicy() != Qt::NoFocus; }

}  // namespace

TemplateDialog::TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(OwnerFor(parent), FlagsFor(dialogTemplate.style)), templateId_(dialogTemplate.id) {
  Build(dialogTemplate);
}

TemplateDialog::~TemplateDialog() = default;

void TemplateDialog::Build(const DialogTemplate& t) {
  setWindowTitle(ToQt(t.caption));
  setFont(DialogFont(t.fontName, t.fontPointSize));
  units_ = BaseUnitsOf(font());
  setFixedSize(DialogSizeToPixels(units_, t.cx, t.cy));
  setSizeGripEnabled(false);

  QWidget* previous = nullptr;
  std::vector<QWidget*> groupBoxes;
  std::vector<QWidget*> widgets;
  for (const ControlTemplate& c : t.controls) {
    QWidget* widget = CreateControl(c, units_, this);
    widgets.push_back(widget);
    if (c.id != IDC_STATIC) controls_[c.id] = widget;
    // As in the framework, the push buttons with ids IDOK and IDCANCEL are
    // the dialog's OK and Cancel.
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
      if (button->isDefault()) templateDefaults_.push_back(button);
      if (c.id == IDOK) connect(button, &QPushButton::clicked, this, [this] { OnOK(); });
      if (c.id == IDCANCEL) connect(button, &QPushButton::clicked, this, [this] { OnCancel(); });
    }
    if (qobject_cast<QGroupBox*>(widget) != nullptr) groupBoxes.push_back(widget);
    if (CanTakeFocus(widget)) {
      if (previous != nullptr) setTabOrder(previous, widget);
      previous = widget;
    }
  }
  for (QWidget* box : groupBoxes) box->lower();
  NameFieldsAfterCaptions(t, widgets);
}

QWidget* TemplateDialog::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

std::string TemplateDialog::ItemText(int id) const {
  QWidget* w = Control(id);
  if (auto* label = qobject_cast<QLabel*>(w)) return FromQt(label->text());
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return FromQt(edit->text());
  if (auto* combo = qobject_cast<QComboBox*>(w)) return FromQt(combo->currentText());
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return FromQt(button->text());
  if (auto* group = qobject_cast<QGroupBox*>(w)) return FromQt(group->title());
  return {};
}

void TemplateDialog::SetItemText(int id, std::string_view text) {
  QWidget* w = Control(id);
  const QString value = ToQt(text);
  if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(value);
  } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    // A text set by the program shows from its start, as a Windows edit does.
    edit->setText(value);
    edit->setCursorPosition(0);
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    if (combo->isEditable()) {
      combo->setEditText(value);
    } else {
      combo->setCurrentIndex(combo->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive));
    }
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->setText(value);
  } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
    group->setTitle(value);
  }
}

void TemplateDialog::EnableItem(int id, bool enable) {
  if (QWidget* w = Control(id)) w->setEnabled(enable);
}

void TemplateDialog::ShowItem(int id, bool show) {
  if (QWidget* w = Control(id)) w->setVisible(show);
}

void TemplateDialog::SetItemReadOnly(int id, bool readOnly) {
  if (auto* edit = ControlAs<QLineEdit>(id)) edit->setReadOnly(readOnly);
}

int TemplateDialog::DoModal() {
  ended_ = false;
  if (!initialised_) {
    initialised_ = true;
    OnInitDialog();
  }
  // A dialog may end itself while it initialises; it is never shown then.
  if (ended_) return result();
  return exec();
}

void TemplateDialog::ShowModeless() {
  ended_ = false;
  if (!initialised_) {
    initialised_ = true;
    OnInitDialog();
  }
  if (!ended_) show();
}

void TemplateDialog::EndDialog(int code) {
  ended_ = true;
  done(code);
}

UINT TemplateDialog::SetTimer(UINT id, DWORD periodMs) {
  auto& timer = timers_[id];
  if (!timer) timer = std::make_unique<ClockTimer>([this, id] { OnTimer(id); }, this);
  timer->Start(periodMs);
  return id;
}

bool TemplateDialog::KillTimer(UINT id) {
  // The timer object stays: KillTimer may be called from inside its own tick.
  const auto it = timers_.find(id);
  if (it == timers_.end() || !it->second->IsActive()) return false;
  it->second->Stop();
  return true;
}

bool TemplateDialog::TimerActive(UINT id) const {
  const auto it = timers_.find(id);
  return it != timers_.end() && it->second->IsActive();
}

void TemplateDialog::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() & ~(Qt::KeypadModifier)) {
    QDialog::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Escape:
      OnCancel();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      // Enter presses the focused push button, or else the template's
      // default one; without one it is the dialog's OK. A button that had
      // the focus earlier is no default (Qt may still mark it as one).
      QPushButton* target = qobject_cast<QPushButton*>(focusWidget());
      if (target != nullptr && !target->autoDefault()) target = nullptr;
      if (target == nullptr) {
        for (QPushButton* button : templateDefaults_)
          if (button->isDefault() && button->isVisible()) target = button;
      }
      if (target != nullptr) {
        if (target->isEnabled()) target->click();
        return;
      }
      OnOK();
      return;
    }
    default:
      QDialog::keyPressEvent(event);
  }
}

void TemplateDialog::setVisible(bool visible) {
  const QList<QPushButton*> buttons = findChildren<QPushButton*>();
  const bool hasDefault = std::any_of(buttons.begin(), buttons.end(), [](QPushButton* b) { return b->isDefault(); });
  if (!visible || hasDefault) {
    QDialog::setVisible(visible);
    return;
  }
  // Qt makes the first push button the default one when a dialog without a
  // default is shown; a template without one keeps it that way, so that
  // Enter outside a push button is the dialog's OK. A focused push button
  // still takes Enter.
  std::vector<QPushButton*> autoDefaults;
  for (QPushButton* button : buttons) {
    if (!button->autoDefault()) continue;
    button->setAutoDefault(false);
    autoDefaults.push_back(button);
  }
  QDialog::setVisible(true);
  for (QPushButton* button : autoDefaults) button->setAutoDefault(true);
}

void TemplateDialog::closeEvent(QCloseEvent* event) {
  // The dialog ends only through EndDialog; OnClose decides.
  event->ignore();
  if (isVisible()) OnClose();
}

}  // namespace ui
