// Window, control and message-box style bits, show commands and dialog
// results with Windows' names and values. Dialog templates (src/res) are
// written with them, so a template reads like the resource it stands for; the
// builder (control_factory.h) turns them into widget properties.
//
// Style bits of different control classes overlap (BS_DEFPUSHBUTTON and
// ES_CENTER are both 1): a bit means what its control's class says.
#pragma once

#include "platform/win_types.h"

#ifdef _WIN32
#include <commctrl.h>
#else
// Window styles (any control or dialog).
constexpr DWORD WS_POPUP = 0x80000000u;
constexpr DWORD WS_CHILD = 0x40000000u;
constexpr DWORD WS_MINIMIZE = 0x20000000u;
constexpr DWORD WS_VISIBLE = 0x10000000u;
constexpr DWORD WS_DISABLED = 0x08000000u;
constexpr DWORD WS_CAPTION = 0x00C00000u;
constexpr DWORD WS_BORDER = 0x00800000u;
constexpr DWORD WS_VSCROLL = 0x00200000u;
constexpr DWORD WS_HSCROLL = 0x00100000u;
constexpr DWORD WS_SYSMENU = 0x00080000u;
constexpr DWORD WS_GROUP = 0x00020000u;
constexpr DWORD WS_TABSTOP = 0x00010000u;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000u;  // dialogs only (shares WS_GROUP's bit)

// Dialog styles.
constexpr DWORD DS_SETFONT = 0x40u;
constexpr DWORD DS_MODALFRAME = 0x80u;
constexpr DWORD DS_CENTER = 0x800u;

// Buttons.
constexpr DWORD BS_PUSHBUTTON = 0x0u;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1u;
constexpr DWORD BS_AUTOCHECKBOX = 0x3u;
constexpr DWORD BS_GROUPBOX = 0x7u;
constexpr DWORD BS_TYPEMASK = 0xFu;

// Edits.
constexpr DWORD ES_LEFT = 0x0u;
constexpr DWORD ES_CENTER = 0x1u;
constexpr DWORD ES_RIGHT = 0x2u;
constexpr DWORD ES_PASSWORD = 0x20u;
constexpr DWORD ES_AUTOHSCROLL = 0x80u;
constexpr DWORD ES_READONLY = 0x800u;
constexpr DWORD ES_NUMBER = 0x2000u;

// Statics.
constexpr DWORD SS_LEFT = 0x0u;
constexpr DWORD SS_CENTER = 0x1u;
constexpr DWORD SS_RIGHT = 0x2u;
constexpr DWORD SS_TYPEMASK = 0x1Fu;
constexpr DWORD SS_CENTERIMAGE = 0x200u;
constexpr DWORD SS_SUNKEN = 0x1000u;

// Combo boxes.
constexpr DWORD CBS_DROPDOWN = 0x2u;
constexpr DWORD CBS_DROPDOWNLIST = 0x3u;
constexpr DWORD CBS_TYPEMASK = 0x3u;
constexpr DWORD CBS_AUTOHSCROLL = 0x40u;
constexpr DWORD CBS_SORT = 0x100u;

// List boxes.
constexpr DWORD LBS_NOTIFY = 0x1u;
constexpr DWORD LBS_SORT = 0x2u;
constexpr DWORD LBS_NOINTEGRALHEIGHT = 0x100u;
constexpr DWORD LBS_NOSEL = 0x4000u;

// Progress bars.
constexpr DWORD PBS_SMOOTH = 0x1u;

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;

// Message-box types and results.
constexpr UINT MB_OK = 0x0u;
constexpr UINT MB_OKCANCEL = 0x1u;
constexpr UINT MB_YESNOCANCEL = 0x3u;
constexpr UINT MB_YESNO = 0x4u;
constexpr UINT MB_RETRYCANCEL = 0x5u;
constexpr UINT MB_TYPEMASK = 0xFu;
constexpr UINT MB_ICONERROR = 0x10u;
constexpr UINT MB_ICONHAND = MB_ICONERROR;
constexpr UINT MB_ICONQUESTION = 0x20u;
constexpr UINT MB_ICONEXCLAMATION = 0x30u;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONINFORMATION = 0x40u;
constexpr UINT MB_ICONMASK = 0xF0u;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDRETRY = 4;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Window messages the tool defines for itself.
constexpr UINT WM_USER = 0x0400u;
#endif
