#include "ui/qt/dialog_window.h"

#include <algorithm>
#include <vector>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>

#include "ui/qt/accessible_names.h"
#include "ui/qt/control_factory.h"
#include "ui/qt/dialog_font.h"
#include "ui/qt/text.h"

namespace ui {
namespace {

Qt::WindowFlags FlagsFor(DWORD style) {
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
  if ((style & WS_CAPTION) == WS_CAPTION) flags |= Qt::WindowTitleHint;
  if (style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
  return flags;
}

bool CanTakeFocus(const QWidget* w) { return w->focusPolicy() != Qt::NoFocus; }

// The user's input that a busy dialog drops.
bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::ContextMenu: return true;
    default: return false;
  }
}

}  // namespace

DialogWindow::DialogWindow(TemplateDialog& dialog, const DialogTemplate& dialogTemplate, QWidget* owner)
    : QDialog(owner, FlagsFor(dialogTemplate.style)), dialog_(dialog) {
  Build(dialogTemplate);
}

DialogWindow::~DialogWindow() {
  if (busy_) QApplication::restoreOverrideCursor();
}

void DialogWindow::Build(const DialogTemplate& t) {
  InstallCaptionedComboBoxes();
  setWindowTitle(ToQt(t.caption));
  setFont(qt::DialogFont(t.fontName, t.fontPointSize));
  units_ = qt::BaseUnitsOf(font());
  const PixelSize size = DialogSizeToPixels(units_, t.cx, t.cy);
  setFixedSize(size.width, size.height);
  setSizeGripEnabled(false);
  installEventFilter(this);

  QWidget* previous = nullptr;
  std::vector<QWidget*> groupBoxes;
  std::vector<QWidget*> widgets;
  for (const ControlTemplate& c : t.controls) {
    QWidget* widget = CreateControl(c, units_, this);
    widgets.push_back(widget);
    widget->installEventFilter(this);
    if (auto* combo = qobject_cast<QComboBox*>(widget); combo != nullptr && combo->lineEdit() != nullptr)
      combo->lineEdit()->installEventFilter(this);
    if (c.id != IDC_STATIC) controls_[c.id] = widget;
    // As in the framework, the push buttons with ids IDOK and IDCANCEL are
    // the dialog's OK and Cancel; the others are its commands.
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
      if (button->isDefault()) templateDefaults_.push_back(button);
      const int id = c.id;
      connect(button, &QPushButton::clicked, this, [this, id] {
        if (id == IDOK) {
          OnOK();
        } else if (id == IDCANCEL) {
          OnCancel();
        } else {
          OnCommand(id);
        }
      });
    }
    if (qobject_cast<QGroupBox*>(widget) != nullptr) groupBoxes.push_back(widget);
    if (CanTakeFocus(widget)) {
      if (previous != nullptr) setTabOrder(previous, widget);
      previous = widget;
    }
  }
  for (QWidget* box : groupBoxes) box->lower();
  NameFieldsAfterCaptions(t, widgets);
  FitToWorkArea();
}

void DialogWindow::FitToWorkArea() {
  const QWidget* owner = parentWidget();
  const QScreen* screen = owner != nullptr ? owner->screen() : this->screen();
  if (screen == nullptr) return;
  FitInto(screen->availableGeometry().size());
}

void DialogWindow::FitInto(const QSize& workArea) {
  if (page_ != nullptr) return;
  // Room for the frame and caption the window manager adds.
  const int border = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
  const QSize area = workArea - QSize(border, border + style()->pixelMetric(QStyle::PM_TitleBarHeight));
  const QSize full = size();
  if (full.width() <= area.width() && full.height() <= area.height()) return;

  page_ = new QWidget;
  page_->setFixedSize(full);
  for (QObject* child : children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (widget == nullptr || widget->isWindow()) continue;
    // A widget changing its parent hides; those the template shows come back.
    const bool hidden = widget->isHidden();
    const QRect place = widget->geometry();
    widget->setParent(page_);
    widget->setGeometry(place);
    widget->setVisible(!hidden);
  }
  auto* scroll = new QScrollArea(this);
  scroll->show();
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidget(page_);
  // Each direction scrolls only when it does not fit; a scroll bar takes room.
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  QSize shown = full.boundedTo(area);
  if (shown.height() < full.height()) shown.setWidth(std::min(full.width() + bar, area.width()));
  if (shown.width() < full.width()) shown.setHeight(std::min(full.height() + bar, area.height()));
  setFixedSize(shown);
  scroll->setGeometry(0, 0, shown.width(), shown.height());
}

QWidget* DialogWindow::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void DialogWindow::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event) {
  if (busy_ && IsUserInput(event->type())) return true;
  if (event->type() == QEvent::FocusOut) {
    // The drop-down list taking the focus is no loss: the box is still in use.
    if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
      QWidget* widget = qobject_cast<QWidget*>(watched);
      // A combo's edit field reports for its box.
      if (widget != nullptr && qobject_cast<QComboBox*>(widget->parentWidget()) != nullptr)
        widget = widget->parentWidget();
      for (const auto& [id, control] : controls_) {
        if (control == widget) {
          dialog_.OnKillFocus(id);
          break;
        }
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void DialogWindow::StartTimer(UINT id, DWORD periodMs) {
  auto& timer = timers_[id];
  if (!timer) timer = std::make_unique<ClockTimer>([this, id] { dialog_.DeliverTimer(id); }, this);
  timer->Start(periodMs);
}

bool DialogWindow::StopTimer(UINT id) {
  // The timer object stays: KillTimer may be called from inside its own tick.
  const auto it = timers_.find(id);
  if (it == timers_.end() || !it->second->IsActive()) return false;
  it->second->Stop();
  return true;
}

bool DialogWindow::TimerRuns(UINT id) const {
  const auto it = timers_.find(id);
  return it != timers_.end() && it->second->IsActive();
}

void DialogWindow::WatchDeviceChanges() {
  if (deviceMonitor_) return;
  deviceMonitor_ = std::make_unique<platform::DeviceChangeMonitor>();
  if (!deviceMonitor_->IsWatching()) return;
  deviceNotifier_ = std::make_unique<QSocketNotifier>(deviceMonitor_->Descriptor(), QSocketNotifier::Read);
  connect(deviceNotifier_.get(), &QSocketNotifier::activated, this, &DialogWindow::OnDeviceReadable);
}

void DialogWindow::OnDeviceReadable() {
  // Consume the news at once, even while busy, or the descriptor would stay
  // readable and wake the loop over and over.
  if (deviceMonitor_->Drain()) dialog_.DeliverDeviceChange();
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() & ~(Qt::KeypadModifier)) {
    QDialog::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Escape: OnCancel(); return;
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
    default: QDialog::keyPressEvent(event);
  }
}

void DialogWindow::setVisible(bool visible) {
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

void DialogWindow::closeEvent(QCloseEvent* event) {
  // The dialog ends only through EndDialog; OnClose decides, and a busy
  // dialog takes no close request.
  event->ignore();
  if (isVisible() && !busy_) dialog_.OnClose();
}

}  // namespace ui
