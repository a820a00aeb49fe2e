// TemplateDialog's operations on its Qt window and controls.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QStyle>

#include "ui/qt/control_factory.h"
#include "ui/qt/dialog_font.h"
#include "ui/qt/dialog_window.h"
#include "ui/qt/progress_ctrl.h"
#include "ui/qt/text.h"

namespace ui {
DialogWindow* TemplateDialog::CreateWindowFor(TemplateDialog& dialog, const DialogTemplate& dialogTemplate,
                                              TemplateDialog* owner) {
  return new DialogWindow(dialog, dialogTemplate, owner != nullptr ? &owner->Window() : nullptr);
}

void TemplateDialog::WindowDeleter::operator()(DialogWindow* window) const { delete window; }

const DialogBaseUnits& TemplateDialog::BaseUnits() const { return window_->BaseUnits(); }

void TemplateDialog::SetWindowText(std::string_view text) { window_->setWindowTitle(ToQt(text)); }

bool TemplateDialog::HasItem(int id) const { return window_->Control(id) != nullptr; }

std::string TemplateDialog::ItemText(int id) const {
  QWidget* w = window_->Control(id);
  if (auto* label = qobject_cast<QLabel*>(w)) return FromQt(label->text());
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return FromQt(edit->text());
  if (auto* combo = qobject_cast<QComboBox*>(w)) return FromQt(combo->currentText());
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return FromQt(button->text());
  if (auto* group = qobject_cast<QGroupBox*>(w)) return FromQt(group->title());
  return {};
}

void TemplateDialog::SetItemText(int id, std::string_view text) {
  QWidget* w = window_->Control(id);
  const QString value = ToQt(text);
  if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(value);
    // A value display (framed) is read by its value.
    if (label->frameShape() != QFrame::NoFrame) label->setAccessibleName(value);
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
  if (QWidget* w = window_->Control(id)) w->setEnabled(enable);
}

void TemplateDialog::ShowItem(int id, bool show) {
  if (QWidget* w = window_->Control(id)) w->setVisible(show);
}

void TemplateDialog::SetItemReadOnly(int id, bool readOnly) {
  if (auto* edit = window_->ControlAs<QLineEdit>(id)) edit->setReadOnly(readOnly);
}

bool TemplateDialog::ItemHasFocus(int id) const {
  QWidget* w = window_->Control(id);
  return w != nullptr && w->hasFocus();
}

void TemplateDialog::SetItemFocus(int id) {
  if (QWidget* w = window_->Control(id)) w->setFocus();
}

int TemplateDialog::ItemCount(int id) const {
  if (auto* combo = window_->ControlAs<QComboBox>(id)) return combo->count();
  if (auto* list = window_->ControlAs<QListWidget>(id)) return list->count();
  return 0;
}

std::string TemplateDialog::ItemString(int id, int index) const {
  if (auto* combo = window_->ControlAs<QComboBox>(id)) return FromQt(combo->itemText(index));
  if (auto* list = window_->ControlAs<QListWidget>(id)) {
    const QListWidgetItem* item = list->item(index);
    return item != nullptr ? FromQt(item->text()) : std::string();
  }
  return {};
}

int TemplateDialog::AddString(int id, std::string_view text) {
  const int index = ItemCount(id);
  InsertString(id, index, text);
  return index;
}

void TemplateDialog::InsertString(int id, int index, std::string_view text) {
  if (auto* combo = window_->ControlAs<QComboBox>(id)) {
    // Adding to a box that shows no selection keeps it without one.
    const bool noneSelected = combo->currentIndex() < 0;
    combo->insertItem(index, ToQt(text));
    if (noneSelected && combo->currentIndex() >= 0 && !combo->isEditable()) combo->setCurrentIndex(-1);
    WidenDropDown(combo);
  } else if (auto* list = window_->ControlAs<QListWidget>(id)) {
    list->insertItem(index, ToQt(text));
  }
}

void TemplateDialog::DeleteString(int id, int index) {
  if (auto* combo = window_->ControlAs<QComboBox>(id)) {
    combo->removeItem(index);
  } else if (auto* list = window_->ControlAs<QListWidget>(id)) {
    delete list->takeItem(index);
  }
}

int TemplateDialog::CurSel(int id) const {
  if (auto* combo = window_->ControlAs<QComboBox>(id)) return combo->currentIndex();
  if (auto* list = window_->ControlAs<QListWidget>(id)) return list->currentRow();
  return -1;
}

void TemplateDialog::SetCurSel(int id, int index) {
  if (auto* combo = window_->ControlAs<QComboBox>(id)) {
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
  } else if (auto* list = window_->ControlAs<QListWidget>(id)) {
    list->setCurrentRow(index);
  }
}

int TemplateDialog::FindStringExact(int id, std::string_view text) const {
  if (auto* combo = window_->ControlAs<QComboBox>(id))
    return combo->findText(ToQt(text), Qt::MatchExactly | Qt::MatchCaseSensitive);
  for (int i = 0; i < ItemCount(id); ++i)
    if (ItemString(id, i) == text) return i;
  return -1;
}

void TemplateDialog::SetProgressRange(int id, int low, int high) {
  if (auto* bar = window_->ControlAs<ProgressCtrl>(id)) bar->SetRange32(low, high);
}

int TemplateDialog::SetProgressPos(int id, int pos) {
  auto* bar = window_->ControlAs<ProgressCtrl>(id);
  return bar != nullptr ? bar->SetPos(pos) : 0;
}

PixelRect TemplateDialog::ItemRect(int id) const {
  QWidget* w = window_->Control(id);
  return w != nullptr ? qt::FromQRect(w->geometry()) : PixelRect{};
}

void TemplateDialog::SetItemRect(int id, const PixelRect& rect) {
  if (QWidget* w = window_->Control(id)) w->setGeometry(qt::ToQRect(rect));
}

int TemplateDialog::WidthToShow(int id, std::string_view text) const {
  QWidget* w = window_->Control(id);
  if (w == nullptr) return 0;
  const int advance = QFontMetrics(w->font()).horizontalAdvance(ToQt(text));
  if (auto* list = qobject_cast<QListWidget*>(w)) {
    // The frame, the item margins and a vertical scroll bar.
    QStyle* style = list->style();
    return advance + 2 * list->frameWidth() + 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) +
           style->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
  }
  // A label keeps a pixel free on each side of its text, inside its frame.
  if (auto* label = qobject_cast<QLabel*>(w)) return advance + 2 * label->margin() + 2 * label->frameWidth() + 2;
  return advance;
}

int TemplateDialog::ClientWidth() const { return window_->width(); }
void TemplateDialog::SetClientWidth(int width) { window_->setFixedWidth(width); }

void TemplateDialog::PlaceBelowOwnerTop(int offsetY) {
  const QWidget* owner = window_->parentWidget();
  if (owner == nullptr) return;
  const QRect ownerFrame = owner->frameGeometry();
  window_->move(ownerFrame.left(), ownerFrame.top() + offsetY);
}

int TemplateDialog::RunModal() { return window_->exec(); }
void TemplateDialog::ShowWindow() { window_->show(); }
void TemplateDialog::CloseWindow(int result) { window_->done(result); }
void TemplateDialog::SetWindowBusy(bool busy) { window_->SetBusy(busy); }

UINT TemplateDialog::SetTimer(UINT id, DWORD periodMs) {
  window_->StartTimer(id, periodMs);
  return id;
}

bool TemplateDialog::KillTimer(UINT id) { return window_->StopTimer(id); }
bool TemplateDialog::TimerActive(UINT id) const { return window_->TimerRuns(id); }

void TemplateDialog::WatchDeviceChanges() { window_->WatchDeviceChanges(); }

}  // namespace ui
