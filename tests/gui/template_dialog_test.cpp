// Building a dialog from a template: dialog units to pixels, control
// classes and styles, the key and close handling and the dialog's timers.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "clock_speed.h"
#include "qt_controls.h"
#include "ui/qt/dialog_font.h"
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "ui/template_dialog.h"

namespace {

using ui::ControlClass;

ui::DialogTemplate TestTemplate() {
  return ui::DialogTemplate{.id = 900,
                            .caption = "Test",
                            .fontName = "System",
                            .fontPointSize = 10,
                            .cx = 200,
                            .cy = 100,
                            .style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                            .controls = {
                                {1001, ControlClass::Edit, "", 10, 10, 50, 12, ES_NUMBER | WS_TABSTOP},
                                {1002, ControlClass::Edit, "fixed", 10, 30, 50, 12, ES_READONLY | WS_TABSTOP},
                                {1003,
                                 ControlClass::ComboBox,
                                 "",
                                 70,
                                 10,
                                 60,
                                 60,
                                 CBS_DROPDOWNLIST | WS_TABSTOP,
                                 false,
                                 {"0:disable", "1:enable"}},
                                {1004, ControlClass::Button, "OK", 140, 80, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP},
                                {1005, ControlClass::Static, "later", 10, 50, 40, 10, SS_LEFT, true},
                                {1006, ControlClass::Button, "Off", 140, 60, 50, 14, WS_DISABLED},
                                // Listed after the controls it frames: it must still lie behind them.
                                {1007, ControlClass::GroupBox, "Group", 5, 2, 130, 45, 0},
                            }};
}

TEST(DialogUnits, ConvertWithTheFontsBaseUnitsRoundingToNearest) {
  const ui::DialogBaseUnits units{7, 15};
  EXPECT_EQ(ui::DialogUnitsToPixelsX(units, 183), 320);  // 320.25
  EXPECT_EQ(ui::DialogUnitsToPixelsX(units, 2), 4);      // 3.5 rounds up
  EXPECT_EQ(ui::DialogUnitsToPixelsY(units, 7), 13);     // 13.125
  EXPECT_EQ(ui::DialogUnitsToPixelsY(units, 12), 23);    // 22.5 rounds up
  // Edges are mapped, so neighbours that touch in dialog units touch in pixels.
  const QRect left = ui::qt::ToQRect(ui::DialogRectToPixels(units, 7, 41, 163, 12));
  const QRect right = ui::qt::ToQRect(ui::DialogRectToPixels(units, 170, 41, 13, 12));
  EXPECT_EQ(left.right() + 1, right.left());
}

TEST(TemplateDialog, MainWindowTemplateKeepsItsProportions) {
  ui::TemplateDialog dialog(res::MainDialogTemplate());
  const ui::DialogBaseUnits& u = dialog.BaseUnits();
  EXPECT_GT(u.cx, 3);
  EXPECT_GT(u.cy, 8);
  // Twelve units wider than first drawn, for the port box.
  EXPECT_EQ(ui::qt::Window(dialog)->size(), ui::qt::ToQSize(ui::DialogSizeToPixels(u, 254, 60)));
  EXPECT_EQ(ui::qt::Control(dialog, IDC_BTN_START)->geometry(),
            ui::qt::ToQRect(ui::DialogRectToPixels(u, 195, 7, 52, 12)));

  // The IMEI line, Scan COM Port and the progress bar end on one line (182
  // units); the three buttons on the right share their left edge.
  const int right = ui::qt::Control(dialog, IDC_STC_IMEI)->geometry().right();
  EXPECT_EQ(ui::qt::Control(dialog, IDC_BTN_SCAN)->geometry().right(), right);
  EXPECT_EQ(ui::qt::Control(dialog, IDC_PROGRESS)->geometry().right(), right);
  const int left = ui::qt::Control(dialog, IDC_BTN_START)->x();
  EXPECT_EQ(ui::qt::Control(dialog, IDC_BTN_SETTING)->x(), left);
  EXPECT_EQ(ui::qt::Control(dialog, IDC_BTN_UPDATE)->x(), left);
  // The combo's template height holds its drop-down list; closed it is one line.
  EXPECT_LE(ui::qt::Control(dialog, IDC_CMB_PORT)->height(), ui::DialogUnitsToPixelsY(u, 46) / 2);

  EXPECT_FALSE(ui::qt::Control(dialog, IDC_BTN_SETTING)->isEnabled());
  EXPECT_TRUE(ui::qt::ControlAs<QPushButton>(dialog, IDC_BTN_START)->isDefault());
  EXPECT_TRUE(ui::qt::ControlAs<QComboBox>(dialog, IDC_CMB_PORT)->isEditable());
  EXPECT_NE(ui::qt::ControlAs<QLabel>(dialog, IDC_STC_IMEI)->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(ui::qt::Control(dialog, ui::IDC_STATIC), nullptr);
}

TEST(TemplateDialog, StylesBecomeWidgetProperties) {
  ui::TemplateDialog dialog(TestTemplate());
  dialog.ShowModeless();

  auto* digits = ui::qt::ControlAs<QLineEdit>(dialog, 1001);
  ASSERT_NE(digits, nullptr);
  QTest::keyClicks(digits, "12a-3");
  EXPECT_EQ(digits->text(), QStringLiteral("123")) << "ES_NUMBER takes digits only";
  EXPECT_TRUE(ui::qt::ControlAs<QLineEdit>(dialog, 1002)->isReadOnly());

  auto* list = ui::qt::ControlAs<QComboBox>(dialog, 1003);
  ASSERT_NE(list, nullptr);
  EXPECT_FALSE(list->isEditable());
  EXPECT_EQ(list->count(), 2);
  EXPECT_EQ(list->currentIndex(), -1);

  EXPECT_FALSE(ui::qt::Control(dialog, 1005)->isVisible());
  dialog.ShowItem(1005, true);
  EXPECT_TRUE(ui::qt::Control(dialog, 1005)->isVisible());
  EXPECT_FALSE(ui::qt::Control(dialog, 1006)->isEnabled());

  // Texts by id.
  dialog.SetItemText(1002, "abc");
  EXPECT_EQ(dialog.ItemText(1002), "abc");
  dialog.SetItemText(1003, "1:enable");
  EXPECT_EQ(list->currentIndex(), 1);
  EXPECT_EQ(dialog.ItemText(1007), "Group");

  // The group box is drawn behind the controls it frames and takes no clicks.
  const QPoint inEdit = digits->geometry().center();
  EXPECT_EQ(ui::qt::Window(dialog)->childAt(inEdit), digits);
  EXPECT_TRUE(ui::qt::Control(dialog, 1007)->testAttribute(Qt::WA_TransparentForMouseEvents));
}

class CountingDialog : public ui::TemplateDialog {
 public:
  explicit CountingDialog(const ui::DialogTemplate& t = TestTemplate()) : ui::TemplateDialog(t) {}
  int cancels = 0, closes = 0, oks = 0, ticks = 0;
  bool endWhileInitialising = false;
  bool killOnFirstTick = false;

 protected:
  bool OnInitDialog() override {
    if (endWhileInitialising) EndDialog(42);
    return true;
  }
  void OnOK() override {
    ++oks;
    ui::TemplateDialog::OnOK();
  }
  void OnCancel() override {
    ++cancels;
    ui::TemplateDialog::OnCancel();
  }
  void OnClose() override {
    ++closes;
    ui::TemplateDialog::OnClose();
  }
  void OnTimer(UINT id) override {
    ++ticks;
    if (killOnFirstTick) KillTimer(id);
  }
};

TEST(TemplateDialog, EnterPressesTheDefaultButtonEscapeCancelsTheCloseBoxCloses) {
  {
    CountingDialog dialog;
    dialog.ShowModeless();
    int clicks = 0;
    QObject::connect(ui::qt::ControlAs<QPushButton>(dialog, 1004), &QPushButton::clicked, [&] { ++clicks; });
    QTest::keyClick(ui::qt::Control(dialog, 1001), Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(dialog.oks, 0);
    EXPECT_FALSE(dialog.Ended());

    // A disabled default button takes Enter and does nothing with it.
    dialog.EnableItem(1004, false);
    QTest::keyClick(ui::qt::Control(dialog, 1001), Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(dialog.Ended());

    QTest::keyClick(ui::qt::Window(dialog), Qt::Key_Escape);
    EXPECT_EQ(dialog.cancels, 1);
    EXPECT_EQ(dialog.closes, 0);
    EXPECT_TRUE(dialog.Ended());
    EXPECT_EQ(dialog.Result(), IDCANCEL);
  }
  {
    CountingDialog dialog;
    dialog.ShowModeless();
    ui::qt::Window(dialog)->close();
    EXPECT_EQ(dialog.closes, 1);
    EXPECT_EQ(dialog.cancels, 0) << "the close box ends the dialog without OnCancel";
    EXPECT_EQ(dialog.Result(), IDCANCEL);
    EXPECT_FALSE(ui::qt::Window(dialog)->isVisible());
  }
}

TEST(TemplateDialog, WithoutADefaultButtonEnterInAnEditIsOkAndAFocusedButtonTakesIt) {
  ui::DialogTemplate t = TestTemplate();
  t.controls[3].style = BS_PUSHBUTTON | WS_TABSTOP;  // 1004 is no longer the default
  CountingDialog dialog(t);
  dialog.ShowModeless();
  for (const QPushButton* button : ui::qt::Window(dialog)->findChildren<QPushButton*>())
    EXPECT_FALSE(button->isDefault()) << "no button may become the default by itself";
  int clicks = 0;
  QObject::connect(ui::qt::ControlAs<QPushButton>(dialog, 1004), &QPushButton::clicked, [&] { ++clicks; });

  ui::qt::Control(dialog, 1004)->setFocus();
  QTest::keyClick(ui::qt::Control(dialog, 1004), Qt::Key_Return);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(dialog.Ended());

  ui::qt::Control(dialog, 1001)->setFocus();
  QTest::keyClick(ui::qt::Control(dialog, 1001), Qt::Key_Return);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(dialog.oks, 1);
  EXPECT_TRUE(dialog.Ended());
}

TEST(TemplateDialog, DialogThatEndsWhileInitialisingIsNeverShown) {
  CountingDialog dialog;
  dialog.endWhileInitialising = true;
  EXPECT_EQ(dialog.DoModal(), 42);  // would block here if it were shown
  EXPECT_FALSE(ui::qt::Window(dialog)->isVisible());
}

TEST(TemplateDialog, TimerRunsOnTheClockAndMayBeKilledFromItsOwnTick) {
  ClockSpeedScope speed(100.0);  // 1000 clock ms are 10 real ms
  CountingDialog dialog;
  dialog.killOnFirstTick = true;
  dialog.ShowModeless();
  EXPECT_EQ(dialog.SetTimer(7, 1000), 7u);
  EXPECT_TRUE(dialog.TimerActive(7));
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.ticks > 0; }, 10000));
  QTest::qWait(100);  // ten periods more
  EXPECT_EQ(dialog.ticks, 1);
  EXPECT_FALSE(dialog.TimerActive(7));
  EXPECT_FALSE(dialog.KillTimer(7));
}

}  // namespace
