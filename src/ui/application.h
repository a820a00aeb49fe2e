// Process-wide facts of the windowed program and its event loop: the
// program's name (the caption of message boxes shown without one), its main
// window (the owner of dialogs and boxes constructed without one) and its
// icon.
//
// Application is the toolkit's application object; exactly one exists while
// windows are shown. It takes the toolkit's own options out of argv.
//
// Thread contract: Application, SetApplicationName, SetApplicationIcon and
// SetMainWindow on the GUI thread before workers start; ApplicationName and
// IsGuiThread from any thread; MainWindow on the GUI thread only.
#pragma once

#include <memory>
#include <string>

namespace ui {

class TemplateDialog;

class Application {
 public:
  Application(int& argc, char** argv);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The executable's file name without folder and extension (GUI thread,
// with an application).
std::string ExecutableName();

void SetApplicationName(std::string name);
std::string ApplicationName();
// The icon of every window, from PNG bytes.
void SetApplicationIcon(const unsigned char* png, unsigned int size);

// A main window that is destroyed stops being the main window.
void SetMainWindow(TemplateDialog* window);
TemplateDialog* MainWindow();

// True when there is a screen to show windows on (on Linux: a display
// server named in the environment, or a Qt platform chosen there).
bool HasDisplay();

// True on the thread that runs the event loop (false without an application).
bool IsGuiThread();

}  // namespace ui
