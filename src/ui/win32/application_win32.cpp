// The application on Win32: common controls, the program's name and icon,
// the main window, and the queue of calls from workers (messages to a
// message-only window on the GUI thread, which every message loop serves,
// modal ones included).
#include "ui/application.h"

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <mutex>

#include "platform/wide_text.h"
#include "ui/win32/app_icon.h"
#include "ui/window_ref.h"
#include "ui/window_text.h"

namespace ui {
namespace {

constexpr UINT WM_RUN_CALL = WM_APP + 1;

HICON g_icon = nullptr;  // GUI thread only
HICON g_smallIcon = nullptr;

// The queue's window and thread; set while an Application exists.
std::mutex g_queueLock;
HWND g_callWindow = nullptr;
std::atomic<DWORD> g_guiThread{0};

LRESULT CALLBACK CallWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_RUN_CALL) {
    std::unique_ptr<std::function<void()>> call(reinterpret_cast<std::function<void()>*>(lParam));
    if (*call) (*call)();
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

struct Application::Impl {};

Application::Application(int&, char**) : impl_(std::make_unique<Impl>()) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSA cls{};
  cls.lpfnWndProc = CallWindowProc;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.lpszClassName = "KvToolCalls";
  RegisterClassA(&cls);
  std::lock_guard<std::mutex> lock(g_queueLock);
  g_callWindow =
      CreateWindowExA(0, cls.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, nullptr);
  g_guiThread = GetCurrentThreadId();
}

Application::~Application() {
  HWND window;
  {
    std::lock_guard<std::mutex> lock(g_queueLock);
    window = g_callWindow;
    g_callWindow = nullptr;
    g_guiThread = 0;
  }
  // Calls still queued are dropped unrun, which releases their senders.
  MSG msg;
  while (PeekMessageA(&msg, window, WM_RUN_CALL, WM_RUN_CALL, PM_REMOVE))
    delete reinterpret_cast<std::function<void()>*>(msg.lParam);
  DestroyWindow(window);
  if (g_icon != nullptr) DestroyIcon(g_icon);
  if (g_smallIcon != nullptr) DestroyIcon(g_smallIcon);
  g_icon = g_smallIcon = nullptr;
}

namespace detail {
bool QueueOnGuiThread(std::function<void()> call) {
  auto* heap = new std::function<void()>(std::move(call));
  std::lock_guard<std::mutex> lock(g_queueLock);
  if (g_callWindow == nullptr || !PostMessageA(g_callWindow, WM_RUN_CALL, 0, reinterpret_cast<LPARAM>(heap))) {
    delete heap;
    return false;
  }
  return true;
}
}  // namespace detail

// A Windows session always has its desktop.
bool HasDisplay() { return true; }

std::string ExecutableName() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name(path, length);
  const std::size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

void SetApplicationIcon(const unsigned char* png, unsigned int size) {
  if (g_icon != nullptr) DestroyIcon(g_icon);
  if (g_smallIcon != nullptr) DestroyIcon(g_smallIcon);
  // The program's icon resource (1) has an image drawn for each size the
  // system asks for; the embedded PNG is the fallback, scaled by the system.
  HINSTANCE self = GetModuleHandleA(nullptr);
  auto load = [self](int cx, int cy) {
    return static_cast<HICON>(LoadImageA(self, MAKEINTRESOURCEA(1), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
  };
  g_icon = load(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
  g_smallIcon = load(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
  // Icons may hold PNG images; the system reads the bytes as such.
  if (g_icon == nullptr)
    g_icon = CreateIconFromResourceEx(const_cast<PBYTE>(png), size, TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR);
  if (g_smallIcon == nullptr)
    g_smallIcon = CreateIconFromResourceEx(const_cast<PBYTE>(png), size, TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR);
}

HICON win32::AppIcon(bool small) { return small ? g_smallIcon : g_icon; }

bool IsGuiThread() { return g_guiThread.load() != 0 && g_guiThread.load() == GetCurrentThreadId(); }

// Paths from the file dialogs are UTF-8; window texts take the program's
// 8-bit code page (a letter it lacks shows as '?').
std::string PathToWindowText(std::string_view path) {
  std::wstring wide;
  if (!platform::Utf8ToWide(path, wide)) return std::string(path);
  if (wide.empty()) return {};
  const int size =
      ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, "?", nullptr);
  std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0)
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, "?", nullptr);
  return text;
}

}  // namespace ui
