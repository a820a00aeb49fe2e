// The Device Setting dialog on a screen smaller than itself: the window fits
// the screen's work area and every control can still be reached by
// scrolling.
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include "device_setting_fixture.h"
#include "res/dialog_templates.h"

namespace {

TEST_F(DeviceSettingTest, DialogFitsTheWorkAreaAndScrollsToEveryControl) {
  CDeviceSettingDlg dialog(INVALID_HANDLE_VALUE);
  QDialog* window = ui::qt::Window(dialog);
  const QRect area = window->screen()->availableGeometry();
  const ui::DialogTemplate& t = res::DeviceSettingDialogTemplate();
  const ui::PixelSize full = ui::DialogSizeToPixels(dialog.BaseUnits(), t.cx, t.cy);
  const QSize templateSize(full.width, full.height);
  ASSERT_GT(templateSize.height(), area.height()) << "this screen is no test of fitting";

  EXPECT_LE(window->height(), area.height());
  EXPECT_LE(window->width(), area.width());
  auto* scroll = window->findChild<QScrollArea*>();
  ASSERT_NE(scroll, nullptr);
  // The button row at the bottom comes into view.
  QWidget* exit = ui::qt::Control(dialog, IDC_BTN_EXIT);
  dialog.ShowModeless();
  scroll->ensureWidgetVisible(exit);
  const QRect shown(exit->mapTo(window, QPoint(0, 0)), exit->size());
  EXPECT_TRUE(window->rect().contains(shown)) << "Exit can be reached";
  EXPECT_TRUE(exit->isVisible());
  dialog.EndDialog(IDCANCEL);
}

}  // namespace
