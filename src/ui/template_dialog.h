// A dialog built from a template (dialog_template.h), the stand-in for the
// dialog framework's CDialog: the window gets the template's caption, font,
// frame and client size; each control becomes a child widget at its place,
// converted from dialog units with the font's metrics, found again by id.
//
// Handlers follow the framework: OnInitDialog before the dialog first shows,
// OnOK for the IDOK button and for Enter when no push button takes it (the
// focused one, or else the template's default one),
// OnCancel for the IDCANCEL button and Escape, OnClose for the close box
// (default: end the dialog with IDCANCEL), OnTimer for the dialog's clock
// timers. EndDialog ends a modal or modeless run.
//
// A dialog constructed without a parent is owned by the application's main
// window (application.h), as a dialog created with no parent window is.
//
// Thread contract: GUI thread only. Workers reach a dialog through
// gui_call.h with a QPointer to it, never through a raw pointer.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QDialog>
#include <QPushButton>

#include "ui/clock_timer.h"
#include "ui/dialog_template.h"
#include "ui/dialog_units.h"
#include "ui/window_styles.h"

namespace ui {

class TemplateDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent = nullptr);
  ~TemplateDialog() override;

  int TemplateId() const { return templateId_; }
  const DialogBaseUnits& BaseUnits() const { return units_; }

  // The control with this id, or null.
  QWidget* Control(int id) const;
  template <class Widget>
  Widget* ControlAs(int id) const {
    return qobject_cast<Widget*>(Control(id));
  }

  // Texts, enabling, visibility and read-only state of controls by id.
  // Texts are 8-bit (text.h): labels, buttons, edits, a combo's edit field,
  // a group box's caption.
  std::string ItemText(int id) const;
  void SetItemText(int id, std::string_view text);
  void EnableItem(int id, bool enable);
  void ShowItem(int id, bool show);
  void SetItemReadOnly(int id, bool readOnly);

  // Runs OnInitDialog, then shows the dialog modally until EndDialog.
  // Returns the code given to EndDialog.
  int DoModal();
  // Runs OnInitDialog and shows the dialog without waiting (tests, previews).
  void ShowModeless();
  void EndDialog(int result);
  bool Ended() const { return ended_; }

  // A repeating timer with this id that calls OnTimer(id) every `periodMs`
  // clock milliseconds; replaces a timer with the same id. Returns the id.
  UINT SetTimer(UINT id, DWORD periodMs);
  // Stops the timer; false when none with that id runs.
  bool KillTimer(UINT id);
  bool TimerActive(UINT id) const;

 protected:
  virtual bool OnInitDialog() { return true; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // The close box; the default ends the dialog with IDCANCEL.
  virtual void OnClose() { EndDialog(IDCANCEL); }
  virtual void OnTimer(UINT id) {}

  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void setVisible(bool visible) override;
  void accept() override { OnOK(); }
  void reject() override { OnCancel(); }

 private:
  void Build(const DialogTemplate& dialogTemplate);

  int templateId_ = 0;
  DialogBaseUnits units_;
  std::map<int, QWidget*> controls_;
  std::vector<QPushButton*> templateDefaults_;  // created as BS_DEFPUSHBUTTON
  std::map<UINT, std::unique_ptr<ClockTimer>> timers_;
  bool ended_ = false;
  bool initialised_ = false;
};

}  // namespace ui
