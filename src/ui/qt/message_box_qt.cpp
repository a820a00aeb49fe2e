#include "ui/message_box.h"

#include <QMessageBox>

#include "ui/qt/dialog_window.h"
#include "ui/qt/text.h"
#include "ui/template_dialog.h"

namespace ui {
namespace {

QMessageBox::Icon IconOf(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

QMessageBox::StandardButtons ButtonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return QMessageBox::Ok | QMessageBox::Cancel;
    case MB_YESNOCANCEL: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MB_YESNO: return QMessageBox::Yes | QMessageBox::No;
    case MB_RETRYCANCEL: return QMessageBox::Retry | QMessageBox::Cancel;
    default: return QMessageBox::Ok;
  }
}

int ResultOf(int button) {
  switch (button) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Retry: return IDRETRY;
    default: return IDOK;
  }
}

}  // namespace

int detail::ShowMessageBoxNow(TemplateDialog* ownerDialog, const MessageBoxRequest& request) {
  QWidget* owner = ownerDialog != nullptr ? &ownerDialog->Window() : nullptr;
  QMessageBox box(IconOf(request.type), ToQt(request.caption), ToQt(request.text), ButtonsOf(request.type), owner);
  return ResultOf(box.exec());
}

}  // namespace ui
