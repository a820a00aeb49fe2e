// Device Setting on a work area smaller than the dialog (as a 1920x1080
// screen at 175 %): the window fits the work area, and every control, the
// button row included, can be brought into view by scrolling. The work area
// is given to the dialog's fitting (the offscreen screen is larger).
#include <algorithm>

#include <QScrollArea>
#include <QScrollBar>

#include "main_window_fixture.h"
#include "qt_controls.h"
#include "res/resource_ids.h"
#include "app/device_setting_dlg.h"
#include "ui/qt/dialog_window.h"

namespace {

// Whether `control` lies wholly inside the part of the dialog on show.
bool OnShow(QWidget* window, QWidget* control) {
  const QRect place(control->mapTo(window, QPoint(0, 0)), control->size());
  QWidget* viewport = window->findChild<QScrollArea*>()->viewport();
  const QRect shown(viewport->mapTo(window, QPoint(0, 0)), viewport->size());
  return shown.contains(place);
}

TEST_F(MainWindowTest, DeviceSettingLargerThanTheScreenScrollsToEveryControl) {
  CDeviceSettingDlg dialog(INVALID_HANDLE_VALUE);
  auto* window = static_cast<ui::DialogWindow*>(ui::qt::Window(dialog));
  // Three quarters of the dialog each way: smaller than it in both directions.
  const QSize area = window->size() * 3 / 4;
  window->FitInto(area);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window, 5000));

  // The page inside is the whole template: larger than the screen here, or
  // the test would prove nothing.
  auto* scroll = window->findChild<QScrollArea*>();
  ASSERT_NE(scroll, nullptr) << "the dialog does not scroll on a " << area.width() << "x" << area.height() << " screen";
  QWidget* page = scroll->widget();
  ASSERT_TRUE(page->height() > area.height() && page->width() > area.width());
  // The window, its frame and caption allowed for, fits the work area.
  EXPECT_LE(window->width(), area.width());
  EXPECT_LE(window->height(), area.height());

  // The button row at the bottom is out of sight at first and comes into
  // sight once the scroll bars are at their ends.
  const std::vector<int> buttons = {IDC_BTN_IMPORT, IDC_BTN_EXPORT, IDC_BTN_GET_DEVICE_SETTING, IDC_BTN_SET_TO_DEVICE,
                                    IDC_BTN_EXIT};
  for (const int id : buttons) {
    QWidget* button = ui::qt::Control(dialog, id);
    ASSERT_NE(button, nullptr) << id;
    ASSERT_TRUE(page->isAncestorOf(button)) << id;
  }
  EXPECT_FALSE(OnShow(window, ui::qt::Control(dialog, IDC_BTN_EXIT)));
  // The scroll bars at their ends show the row's ends.
  scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
  scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->maximum());
  EXPECT_TRUE(OnShow(window, ui::qt::Control(dialog, IDC_BTN_EXIT)));
  scroll->horizontalScrollBar()->setValue(0);
  EXPECT_TRUE(OnShow(window, ui::qt::Control(dialog, IDC_BTN_IMPORT)));
  EXPECT_TRUE(OnShow(window, ui::qt::Control(dialog, IDC_BTN_EXPORT)));

  // Every control the template shows can be scrolled into sight.
  scroll->verticalScrollBar()->setValue(0);
  for (QWidget* control : page->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (control->isHidden() || control->width() > scroll->viewport()->width() ||
        control->height() > scroll->viewport()->height())
      continue;
    // As a user drags the scroll bars: the control's top left corner as far
    // toward the view's top left as the bars go.
    scroll->horizontalScrollBar()->setValue(std::min(control->x(), scroll->horizontalScrollBar()->maximum()));
    scroll->verticalScrollBar()->setValue(std::min(control->y(), scroll->verticalScrollBar()->maximum()));
    EXPECT_TRUE(OnShow(window, control)) << control->objectName().toStdString() << " at " << control->x() << ","
                                         << control->y() << " " << control->width() << "x" << control->height();
  }
  window->hide();
}

}  // namespace
