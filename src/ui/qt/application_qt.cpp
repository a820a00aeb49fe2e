#include "ui/application.h"

#include <mutex>

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QThread>

#include "ui/qt/text.h"

namespace ui {
namespace {
std::mutex g_nameLock;
std::string g_appName;
TemplateDialog* g_mainWindow = nullptr;  // GUI thread only
}  // namespace

struct Application::Impl {
  Impl(int& argc, char** argv) : app(argc, argv) {}
  QApplication app;
};

Application::Application(int& argc, char** argv) : impl_(std::make_unique<Impl>(argc, argv)) {}
Application::~Application() = default;

std::string ExecutableName() { return FromQt(QCoreApplication::applicationName()); }

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

void SetApplicationIcon(const unsigned char* png, unsigned int size) {
  QPixmap pixmap;
  pixmap.loadFromData(png, size, "PNG");
  QApplication::setWindowIcon(QIcon(pixmap));
}

void SetMainWindow(TemplateDialog* window) { g_mainWindow = window; }
TemplateDialog* MainWindow() { return g_mainWindow; }

bool IsGuiThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

}  // namespace ui
