// The Qt window behind a TemplateDialog: a QDialog with the template's
// caption, font and size, one widget per control (control_factory.h), the
// keys, buttons and close box routed to the dialog's handlers, the busy
// state's input filter, the dialog's clock timers and its device-change
// watch.
//
// Tests and the screenshot tools reach the widgets through qt_access.h.
//
// Thread contract: GUI thread only.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include <QDialog>
#include <QPushButton>
#include <QSocketNotifier>

#include "platform/device_change_posix.h"
#include "ui/qt/clock_timer.h"
#include "ui/template_dialog.h"

namespace ui {

class DialogWindow : public QDialog {
  Q_OBJECT
 public:
  DialogWindow(TemplateDialog& dialog, const DialogTemplate& dialogTemplate, QWidget* owner);
  ~DialogWindow() override;

  TemplateDialog& Dialog() const { return dialog_; }
  const DialogBaseUnits& BaseUnits() const { return units_; }
  // The control with this id, or null.
  QWidget* Control(int id) const;
  template <class Widget>
  Widget* ControlAs(int id) const {
    return qobject_cast<Widget*>(Control(id));
  }

  void SetBusy(bool busy);
  bool Busy() const { return busy_; }

  void StartTimer(UINT id, DWORD periodMs);
  bool StopTimer(UINT id);
  bool TimerRuns(UINT id) const;

  void WatchDeviceChanges();

  // Fits the dialog into a work area of `area` (the window manager's frame
  // and caption allowed for): a dialog larger than it scrolls, its controls
  // on a page inside a scroll area, the window no larger than the area. Done
  // once; the dialog calls it with its screen's work area when it is built.
  void FitInto(const QSize& area);

  // The handlers of the dialog, for the window's own events.
  void Initialise() { dialog_.Initialise(); }
  void OnOK() { dialog_.OnOK(); }
  void OnCancel() { dialog_.OnCancel(); }
  void OnCommand(int id) { dialog_.OnCommand(id); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void setVisible(bool visible) override;
  void accept() override { OnOK(); }
  void reject() override { OnCancel(); }

 private:
  void Build(const DialogTemplate& dialogTemplate);
  // A dialog bigger than its screen's work area scrolls: its controls move
  // onto a page inside a scroll area and the window shrinks to fit.
  void FitToWorkArea();
  void OnDeviceReadable();

  TemplateDialog& dialog_;
  DialogBaseUnits units_;
  std::map<int, QWidget*> controls_;
  std::vector<QPushButton*> templateDefaults_;  // created as BS_DEFPUSHBUTTON
  std::map<UINT, std::unique_ptr<ClockTimer>> timers_;
  bool busy_ = false;
  QWidget* page_ = nullptr;  // the controls' parent when the dialog scrolls
  std::unique_ptr<platform::DeviceChangeMonitor> deviceMonitor_;
  std::unique_ptr<QSocketNotifier> deviceNotifier_;  // after the monitor: goes first
};

}  // namespace ui
