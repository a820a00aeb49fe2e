#include "ui/qt/control_factory.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QScrollBar>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "ui/qt/progress_ctrl.h"
#include "ui/qt/text.h"
#include "ui/qt/dialog_font.h"
#include "ui/window_styles.h"

namespace ui {
namespace {

bool Has(DWORD style, DWORD bits) { return (style & bits) == bits; }

QWidget* MakeButton(const ControlTemplate& c, QWidget* parent) {
  const DWORD type = c.style & BS_TYPEMASK;
  if (type == BS_GROUPBOX) return new QGroupBox(ToQt(c.text), parent);
  if (type == BS_AUTOCHECKBOX) return new QCheckBox(ToQt(c.text), parent);
  auto* button = new QPushButton(ToQt(c.text), parent);
  button->setDefault(type == BS_DEFPUSHBUTTON);
  return button;
}

QWidget* MakeStatic(const ControlTemplate& c, QWidget* parent) {
  auto* label = new QLabel(ToQt(c.text), parent);
  label->setTextFormat(Qt::PlainText);
  Qt::Alignment align = Qt::AlignLeft;
  switch (c.style & SS_TYPEMASK) {
    case SS_CENTER: align = Qt::AlignHCenter; break;
    case SS_RIGHT: align = Qt::AlignRight; break;
    default: break;
  }
  // A centred text is one line; any other wraps at word boundaries.
  const bool oneLine = Has(c.style, SS_CENTERIMAGE);
  align |= oneLine ? Qt::AlignVCenter : Qt::AlignTop;
  label->setAlignment(align);
  label->setWordWrap(!oneLine);
  if (Has(c.style, SS_SUNKEN) || Has(c.style, WS_BORDER)) {
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(1);
    label->setMargin(1);
  }
  return label;
}

QWidget* MakeEdit(const ControlTemplate& c, QWidget* parent) {
  auto* edit = new QLineEdit(ToQt(c.text), parent);
  edit->setReadOnly(Has(c.style, ES_READONLY));
  if (Has(c.style, ES_NUMBER)) {
    // Typing is limited to digits, as the Windows edit does.
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
  }
  if (Has(c.style, ES_PASSWORD)) edit->setEchoMode(QLineEdit::Password);
  if (Has(c.style, ES_CENTER)) edit->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  if (Has(c.style, ES_RIGHT)) edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return edit;
}

QWidget* MakeComboBox(const ControlTemplate& c, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  // CBS_DROPDOWN has an edit field; typed text never becomes an item.
  combo->setEditable((c.style & CBS_TYPEMASK) == CBS_DROPDOWN);
  combo->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& item : c.items) combo->addItem(ToQt(item));
  combo->setCurrentIndex(-1);
  WidenDropDown(combo);
  return combo;
}

}  // namespace

void WidenDropDown(QComboBox* combo) {
  QAbstractItemView* list = combo->view();
  list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                        list->verticalScrollBar()->sizeHint().width());
}

namespace {

QWidget* MakeListBox(const ControlTemplate& c, QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setSelectionMode(Has(c.style, LBS_NOSEL) ? QAbstractItemView::NoSelection : QAbstractItemView::SingleSelection);
  list->setSortingEnabled(Has(c.style, LBS_SORT));
  list->setVerticalScrollBarPolicy(Has(c.style, WS_VSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  list->setHorizontalScrollBarPolicy(Has(c.style, WS_HSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  if (!Has(c.style, WS_BORDER)) list->setFrameShape(QFrame::NoFrame);
  for (const std::string& item : c.items) list->addItem(ToQt(item));
  return list;
}

QWidget* MakeWidget(const ControlTemplate& c, QWidget* parent) {
  switch (c.cls) {
    case ControlClass::Button: return MakeButton(c, parent);
    case ControlClass::Static: return MakeStatic(c, parent);
    case ControlClass::Edit: return MakeEdit(c, parent);
    case ControlClass::ComboBox: return MakeComboBox(c, parent);
    case ControlClass::ListBox: return MakeListBox(c, parent);
    case ControlClass::Progress: return new ProgressCtrl(parent);
    case ControlClass::GroupBox: return new QGroupBox(ToQt(c.text), parent);
  }
  return new QWidget(parent);
}

bool IsGroupBox(const ControlTemplate& c) {
  return c.cls == ControlClass::GroupBox || (c.cls == ControlClass::Button && (c.style & BS_TYPEMASK) == BS_GROUPBOX);
}

}  // namespace

QWidget* CreateControl(const ControlTemplate& control, const DialogBaseUnits& units, QWidget* parent) {
  QWidget* widget = MakeWidget(control, parent);
  widget->setObjectName(control.id == IDC_STATIC ? QStringLiteral("static")
                                                 : QStringLiteral("control%1").arg(control.id));
  QRect place = qt::ToQRect(DialogRectToPixels(units, control.x, control.y, control.cx, control.cy));
  if (control.cls == ControlClass::ComboBox) {
    // A combo's template height includes its drop-down list; the closed box
    // is as high as its font needs.
    place.setHeight(std::min(place.height(), widget->sizeHint().height()));
  }
  widget->setGeometry(place);

  if (IsGroupBox(control)) {
    // Group boxes are frames drawn behind their neighbours; they take no clicks.
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    widget->setFocusPolicy(Qt::NoFocus);
  } else if (control.cls == ControlClass::Static || control.cls == ControlClass::Progress) {
    widget->setFocusPolicy(Qt::NoFocus);
  } else {
    widget->setFocusPolicy(Has(control.style, WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
  }
  widget->setEnabled(!Has(control.style, WS_DISABLED));
  if (control.hidden) widget->hide();
  return widget;
}

}  // namespace ui
