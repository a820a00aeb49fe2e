#include "ui/application.h"

#include <mutex>

#include <QCoreApplication>
#include <QThread>

#include "ui/text.h"

namespace ui {
namespace {
std::mutex g_nameLock;
std::string g_appName;
QPointer<QWidget> g_mainWindow;
}  // namespace

void SetApplicationName(std::string name) {
  std::lock_guard<std::mutex> lock(g_nameLock);
  g_appName = std::move(name);
}

std::string ApplicationName() {
  {
    std::lock_guard<std::mutex> lock(g_nameLock);
    if (!g_appName.empty()) return g_appName;
  }
  // Qt's own record of the name is read on the GUI thread only.
  return IsGuiThread() ? FromQt(QCoreApplication::applicationName()) : std::string();
}

void SetMainWindow(QWidget* window) { g_mainWindow = window; }
QWidget* MainWindow() { return g_mainWindow.data(); }

bool IsGuiThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

}  // namespace ui
