// The main window's port box keeps showing the port that will be used. The
// box is editable, but typed text is never a port name of its own: text that
// names a listed port selects that item, any other text gives way to the
// selected item's text. The window settles the box before Start, Setting,
// Update and Scan COM Port act, and the box settles itself whenever it loses
// the focus.
//
// Thread contract: GUI thread only.
#pragma once

#include <QComboBox>
#include <QObject>

class PortBox : public QObject {
  Q_OBJECT
 public:
  // Watches `box` (an editable combo box) for the loss of its focus.
  explicit PortBox(QComboBox* box);

  // Selects the listed port the typed text names, or puts the selected
  // item's text back (empty when nothing is selected).
  void Settle();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The index of the item that names the same port as `text`, or -1.
  int ItemNaming(const QString& text) const;

  QComboBox* box_;
};
