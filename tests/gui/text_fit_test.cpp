// The longest values the windows show fit their controls whole: measured as
// text width against the room the control gives its text.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStyle>
#include <QStyleOptionFrame>

#include "main_window_fixture.h"
#include "qt_controls.h"
#include "res/resource_ids.h"
#include "serial/port_scan.h"
#include "app/scan_port_dlg.h"
#include "app/device_setting_dlg.h"

namespace {

// A 14-character port name (the most a list item holds), a 15-digit IMEI and
// a version of the documented form cut to its 21 characters.
constexpr char kLongestPort[] = "/dev/ttyUSB100";
constexpr char kImei[] = "356938035643809";
constexpr char kVersion[] = "F-0KV770E-V1.4(200909";

int TextWidth(const QWidget* w, const QString& text) { return QFontMetrics(w->font()).horizontalAdvance(text); }

// The width a line edit gives its text: its contents less the frame, the
// text margins and the edit's own 2-pixel margin on each side.
int TextRoom(const QLineEdit* edit) {
  QStyleOptionFrame option;
  option.initFrom(edit);
  option.rect = edit->rect();
  option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
  const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
  return contents.marginsRemoved(edit->textMargins()).width() - 2 * 2;
}

int TextRoom(const QLabel* label) { return label->contentsRect().width() - 2 * label->margin(); }

void ExpectFits(const QLineEdit* edit, const QString& text) {
  EXPECT_LE(TextWidth(edit, text), TextRoom(edit)) << text.toStdString() << " in " << edit->objectName().toStdString();
}
void ExpectFits(const QLabel* label, const QString& text) {
  EXPECT_LE(TextWidth(label, text), TextRoom(label))
      << text.toStdString() << " in " << label->objectName().toStdString();
}

TEST_F(MainWindowTest, MainWindowShowsTheLongestPortNameAndTheImeiWhole) {
  CMainDlg& w = OpenWindow();
  ASSERT_TRUE(w.SelectPort(kLongestPort));
  ASSERT_EQ(PortCombo(w)->currentText(), QStringLiteral("/dev/ttyUSB100:"));
  ExpectFits(PortCombo(w)->lineEdit(), PortCombo(w)->currentText());
  ExpectFits(ImeiLabel(w), QString::fromLatin1(kImei));
}

TEST_F(MainWindowTest, DeviceSettingShowsTheLongestVersionAndTheImeiWhole) {
  CDeviceSettingDlg dialog(INVALID_HANDLE_VALUE);
  ui::qt::Window(dialog)->show();
  ExpectFits(ui::qt::ControlAs<QLineEdit>(dialog, IDC_EDT_FIRMWARE_VERSION), QString::fromLatin1(kVersion));
  ExpectFits(ui::qt::ControlAs<QLabel>(dialog, IDC_STC_SETTING_IMEI), QString::fromLatin1(kImei));
}

TEST_F(MainWindowTest, ScanDialogShowsTheLongestEntryAndStatusWhole) {
  CScanPortDlg dialog({"/dev/pts/10:", std::string(kLongestPort) + ":", "ttyUSB0:"});
  ui::qt::Window(dialog)->show();
  QListWidget* list = PortList(dialog);
  // Room for the entries beside a vertical scroll bar, in case one shows.
  const int room = list->contentsRect().width() - list->style()->pixelMetric(QStyle::PM_ScrollBarExtent) -
                   2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
  for (const char* name : {"/dev/pts/10", kLongestPort}) {
    for (const char* suffix : {kScanOpenSuccess, kScanCheckFailed, kScanOpenFailed}) {
      const QString entry = QString::fromLatin1(name) + QString::fromLatin1(suffix);
      EXPECT_LE(TextWidth(list, entry), room) << entry.toStdString();
    }
    ExpectFits(ScanStatus(dialog), QString::fromStdString(ScanningText(name)));
  }
  // Everything stays inside the dialog, OK included.
  for (QWidget* child :
       {static_cast<QWidget*>(list), static_cast<QWidget*>(ScanStatus(dialog)), ui::qt::Control(dialog, IDOK)})
    EXPECT_TRUE(ui::qt::Window(dialog)->rect().contains(child->geometry())) << child->objectName().toStdString();
  EXPECT_FALSE(ScanStatus(dialog)->geometry().intersects(ui::qt::Control(dialog, IDOK)->geometry()));
}

}  // namespace
