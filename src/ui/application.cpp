#include "ui/application.h"

#include <mutex>

namespace ui {
namespace {
std::mutex g_nameLock;
std::string g_appName;
TemplateDialog* g_mainWindow = nullptr;  // GUI thread only
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
  // The toolkit's record of the name is read on the GUI thread only.
  return IsGuiThread() ? ExecutableName() : std::string();
}

void SetMainWindow(TemplateDialog* window) { g_mainWindow = window; }
TemplateDialog* MainWindow() { return g_mainWindow; }

}  // namespace ui
