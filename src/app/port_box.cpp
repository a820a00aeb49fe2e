#include "app/port_box.h"

#include <QFocusEvent>
#include <QLineEdit>

#include "platform/serial_io.h"
#include "serial/port_items.h"
#include "ui/text.h"

namespace {
// "ttyUSB0", "ttyUSB0:" and "/dev/ttyUSB0" all open the same device.
std::string DeviceOf(const QString& text) {
  const std::string name = PortNameFromItem(ui::FromQt(text.trimmed()));
  return name.empty() ? name : platform::PortDevicePath(name);
}
}  // namespace

PortBox::PortBox(QComboBox* box) : QObject(box), box_(box) {
  box_->installEventFilter(this);
  if (QLineEdit* edit = box_->lineEdit()) edit->installEventFilter(this);
}

int PortBox::ItemNaming(const QString& text) const {
  const std::string device = DeviceOf(text);
  if (device.empty()) return -1;
  for (int i = 0; i < box_->count(); ++i)
    if (DeviceOf(box_->itemText(i)) == device) return i;
  return -1;
}

void PortBox::Settle() {
  if (!box_->isEditable()) return;
  const QString typed = box_->currentText();
  const int current = box_->currentIndex();
  if (current >= 0 && typed == box_->itemText(current)) return;
  const int named = ItemNaming(typed);
  const int shown = named >= 0 ? named : current;
  if (shown != current) box_->setCurrentIndex(shown);
  box_->setEditText(shown >= 0 ? box_->itemText(shown) : QString());
}

bool PortBox::eventFilter(QObject* watched, QEvent* event) {
  // The drop-down list taking the focus is no loss: the box is still in use.
  if (event->type() == QEvent::FocusOut &&
      static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
    Settle();
  return QObject::eventFilter(watched, event);
}
