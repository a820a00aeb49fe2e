// TemplateDialog's operations on its Win32 dialog and controls.
#include <windows.h>

#include <commctrl.h>

#include <chrono>

#include "platform/clock.h"
#include "ui/win32/dialog_window.h"

namespace ui {
namespace {

std::string WindowTextOf(HWND hwnd) {
  if (hwnd == nullptr) return {};
  const int length = GetWindowTextLengthA(hwnd);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

std::string ClassOf(HWND hwnd) {
  char name[64] = {};
  if (hwnd != nullptr) GetClassNameA(hwnd, name, sizeof name);
  return name;
}

bool IsCombo(HWND hwnd) { return lstrcmpiA(ClassOf(hwnd).c_str(), "ComboBox") == 0; }
bool IsList(HWND hwnd) { return lstrcmpiA(ClassOf(hwnd).c_str(), "ListBox") == 0; }
bool IsEditableCombo(HWND hwnd) { return (GetWindowLongA(hwnd, GWL_STYLE) & 0x3) == CBS_DROPDOWN; }

// A system metric at the scaling of the monitor the window is on (the
// program is aware of each monitor's scaling).
int MetricFor(HWND hwnd, int index) { return GetSystemMetricsForDpi(index, GetDpiForWindow(hwnd)); }

}  // namespace

DialogWindow* TemplateDialog::CreateWindowFor(TemplateDialog& dialog, const DialogTemplate& dialogTemplate,
                                              TemplateDialog* owner) {
  return new DialogWindow(dialog, dialogTemplate, owner != nullptr ? owner->Window().Handle() : nullptr);
}

void TemplateDialog::WindowDeleter::operator()(DialogWindow* window) const { delete window; }

const DialogBaseUnits& TemplateDialog::BaseUnits() const { return window_->BaseUnits(); }

void TemplateDialog::SetWindowText(std::string_view text) {
  ::SetWindowTextA(window_->Handle(), std::string(text).c_str());
}

bool TemplateDialog::HasItem(int id) const { return window_->Control(id) != nullptr; }

std::string TemplateDialog::ItemText(int id) const { return WindowTextOf(window_->Control(id)); }

void TemplateDialog::SetItemText(int id, std::string_view text) {
  HWND item = window_->Control(id);
  if (item == nullptr) return;
  const std::string value(text);
  if (IsCombo(item) && !IsEditableCombo(item)) {
    SetCurSel(id, FindStringExact(id, value));
    return;
  }
  ::SetWindowTextA(item, value.c_str());
}

void TemplateDialog::EnableItem(int id, bool enable) {
  if (HWND item = window_->Control(id)) EnableWindow(item, enable ? TRUE : FALSE);
}

void TemplateDialog::ShowItem(int id, bool show) {
  if (HWND item = window_->Control(id)) ::ShowWindow(item, show ? SW_SHOW : SW_HIDE);
}

void TemplateDialog::SetItemReadOnly(int id, bool readOnly) {
  HWND item = window_->Control(id);
  if (item != nullptr && lstrcmpiA(ClassOf(item).c_str(), "Edit") == 0)
    SendMessageA(item, EM_SETREADONLY, readOnly ? TRUE : FALSE, 0);
}

bool TemplateDialog::ItemHasFocus(int id) const {
  HWND item = window_->Control(id);
  HWND focus = GetFocus();
  return item != nullptr && focus != nullptr && (focus == item || IsChild(item, focus));
}

void TemplateDialog::SetItemFocus(int id) {
  if (HWND item = window_->Control(id))
    SendMessageA(window_->Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
}

int TemplateDialog::ItemCount(int id) const {
  HWND item = window_->Control(id);
  if (IsCombo(item)) return static_cast<int>(SendMessageA(item, CB_GETCOUNT, 0, 0));
  if (IsList(item)) return static_cast<int>(SendMessageA(item, LB_GETCOUNT, 0, 0));
  return 0;
}

std::string TemplateDialog::ItemString(int id, int index) const {
  HWND item = window_->Control(id);
  const bool combo = IsCombo(item);
  if (!combo && !IsList(item)) return {};
  const LRESULT length = SendMessageA(item, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, index, 0);
  if (length < 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  SendMessageA(item, combo ? CB_GETLBTEXT : LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

int TemplateDialog::AddString(int id, std::string_view text) {
  const int index = ItemCount(id);
  InsertString(id, index, text);
  return index;
}

void TemplateDialog::InsertString(int id, int index, std::string_view text) {
  HWND item = window_->Control(id);
  const std::string value(text);
  if (IsCombo(item)) SendMessageA(item, CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(value.c_str()));
  if (IsList(item)) SendMessageA(item, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(value.c_str()));
}

void TemplateDialog::DeleteString(int id, int index) {
  HWND item = window_->Control(id);
  if (IsCombo(item)) SendMessageA(item, CB_DELETESTRING, index, 0);
  if (IsList(item)) SendMessageA(item, LB_DELETESTRING, index, 0);
}

int TemplateDialog::CurSel(int id) const {
  HWND item = window_->Control(id);
  if (IsCombo(item)) return static_cast<int>(SendMessageA(item, CB_GETCURSEL, 0, 0));
  if (IsList(item)) return static_cast<int>(SendMessageA(item, LB_GETCURSEL, 0, 0));
  return -1;
}

void TemplateDialog::SetCurSel(int id, int index) {
  HWND item = window_->Control(id);
  if (IsCombo(item)) SendMessageA(item, CB_SETCURSEL, index >= 0 && index < ItemCount(id) ? index : -1, 0);
  if (IsList(item)) SendMessageA(item, LB_SETCURSEL, index, 0);
}

int TemplateDialog::FindStringExact(int id, std::string_view text) const {
  // The controls' own search ignores case; items here are told apart by it.
  for (int i = 0; i < ItemCount(id); ++i)
    if (ItemString(id, i) == text) return i;
  return -1;
}

void TemplateDialog::SetProgressRange(int id, int low, int high) {
  SendDlgItemMessageA(window_->Handle(), id, PBM_SETRANGE32, low, high);
}

int TemplateDialog::SetProgressPos(int id, int pos) {
  return static_cast<int>(SendDlgItemMessageA(window_->Handle(), id, PBM_SETPOS, pos, 0));
}

PixelRect TemplateDialog::ItemRect(int id) const {
  HWND item = window_->Control(id);
  RECT r{};
  if (item == nullptr || !GetWindowRect(item, &r)) return {};
  MapWindowPoints(nullptr, window_->Handle(), reinterpret_cast<POINT*>(&r), 2);
  // In the dialog's own layout, wherever it is scrolled to.
  const POINT scroll = window_->ScrollOffset();
  return PixelRect{r.left + scroll.x, r.top + scroll.y, r.right - r.left, r.bottom - r.top};
}

void TemplateDialog::SetItemRect(int id, const PixelRect& rect) {
  const POINT scroll = window_->ScrollOffset();
  if (HWND item = window_->Control(id))
    MoveWindow(item, rect.left - scroll.x, rect.top - scroll.y, rect.width, rect.height, TRUE);
}

int TemplateDialog::WidthToShow(int id, std::string_view text) const {
  HWND item = window_->Control(id);
  if (item == nullptr) return 0;
  HDC dc = GetDC(item);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(item, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(item, dc);
  if (IsList(item)) return size.cx + 2 * MetricFor(item, SM_CXEDGE) + MetricFor(item, SM_CXVSCROLL) + 6;
  return size.cx + 2 * MetricFor(item, SM_CXEDGE) + 2;
}

int TemplateDialog::ClientWidth() const { return window_->ContentSize().cx; }

void TemplateDialog::SetClientWidth(int width) {
  HWND hwnd = window_->Handle();
  if (window_->Scrolls()) {  // the window keeps its fitted size; the layout widens
    window_->SetContentWidth(width);
    return;
  }
  RECT client{};
  GetClientRect(hwnd, &client);
  RECT frame{0, 0, width, client.bottom};
  AdjustWindowRectExForDpi(&frame, GetWindowLongA(hwnd, GWL_STYLE), FALSE, GetWindowLongA(hwnd, GWL_EXSTYLE),
                           GetDpiForWindow(hwnd));
  SetWindowPos(hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TemplateDialog::PlaceBelowOwnerTop(int offsetY) {
  HWND owner = GetWindow(window_->Handle(), GW_OWNER);
  RECT r{};
  if (owner == nullptr || !GetWindowRect(owner, &r)) return;
  window_->MarkPlaced();
  SetWindowPos(window_->Handle(), nullptr, r.left, r.top + offsetY, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int TemplateDialog::RunModal() { return window_->RunModal(); }
void TemplateDialog::ShowWindow() { window_->ShowModeless(); }
void TemplateDialog::CloseWindow(int result) { window_->End(result); }
void TemplateDialog::SetWindowBusy(bool busy) { window_->SetBusy(busy); }

UINT TemplateDialog::SetTimer(UINT id, DWORD periodMs) {
  const auto real = std::chrono::duration_cast<std::chrono::milliseconds>(platform::RealDuration(periodMs));
  window_->StartTimer(id, static_cast<UINT>(real.count()));
  return id;
}

bool TemplateDialog::KillTimer(UINT id) { return window_->StopTimer(id); }
bool TemplateDialog::TimerActive(UINT id) const { return window_->TimerRuns(id); }

void TemplateDialog::WatchDeviceChanges() { window_->WatchDeviceChanges(); }

}  // namespace ui
