// Process-wide facts of the windowed program: its name (the caption of
// message boxes shown without one) and its main window (the owner of dialogs
// and boxes constructed without a parent).
//
// Thread contract: SetApplicationName and SetMainWindow on the GUI thread
// before workers start; ApplicationName from any thread; MainWindow on the
// GUI thread only (the pointer it returns is only good there).
#pragma once

#include <string>

#include <QPointer>
#include <QWidget>

namespace ui {

// The name of the program; Qt derives it from the executable's file name.
void SetApplicationName(std::string name);
std::string ApplicationName();

void SetMainWindow(QWidget* window);
QWidget* MainWindow();

// True on the thread that runs the Qt event loop (false without a QApplication).
bool IsGuiThread();

}  // namespace ui
