// The plain types, handles and message numbers of the application framework.
//
// The framework keeps the names and values of the desktop platform it was designed on, so that
// the window and start-up code read the same on every backend: BOOL is a 32-bit int, a command
// travels as WM_COMMAND with the command number in the low word of WPARAM, and handles (HWND,
// HICON, HDC) are opaque pointers that only the backend looks inside.
//
// On Windows they are the platform's own: <windows.h> provides them, and this header adds only
// the framework's few names that the platform lacks. (Like every file that includes <windows.h>,
// code above the framework then sees its macros: PostMessage and the like name the
// platform's ...A functions and the framework's members alike, consistently.)
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <windows.h>

#else

using BOOL = int32_t;
using UINT = uint32_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using LPCSTR = const char*;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

// Opaque handles. The backend defines the structs behind them.
struct HWND__;
struct HICON__;
struct HDC__;
using HWND = HWND__*;      // a window that exists on screen
using HICON = HICON__*;    // an icon resource, valid for the process's life
using HCURSOR = HICON__*;  // the drag image of a minimized window is an icon
using HDC = HDC__*;        // a paint context, valid inside one paint

struct RECT {
  int32_t left;    // x of the left edge
  int32_t top;     // y of the top edge
  int32_t right;   // x just past the right edge
  int32_t bottom;  // y just past the bottom edge
};
using LPRECT = RECT*;

constexpr WORD LOWORD(WPARAM value) { return static_cast<WORD>(value & 0xFFFF); }
constexpr WORD HIWORD(WPARAM value) { return static_cast<WORD>((value >> 16) & 0xFFFF); }

// Messages that the program sends, posts or handles.
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUERYDRAGICON = 0x0037;
inline constexpr UINT WM_ICONERASEBKGND = 0x0027;
inline constexpr UINT WM_SETICON = 0x0080;
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;

inline constexpr WPARAM ICON_SMALL = 0;  // WM_SETICON: the title-bar / taskbar image
inline constexpr WPARAM ICON_BIG = 1;    // WM_SETICON: the large image

// Dialog end codes and dialog commands.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;


// System metrics.
inline constexpr int SM_CXICON = 11;
inline constexpr int SM_CYICON = 12;

// Window styles, as the dialog templates carry them.
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_GROUP = 0x00020000;
inline constexpr DWORD WS_TABSTOP = 0x00010000;
inline constexpr DWORD WS_EX_APPWINDOW = 0x00040000;
inline constexpr DWORD DS_SETFONT = 0x0040;
inline constexpr DWORD DS_MODALFRAME = 0x0080;
inline constexpr DWORD ES_AUTOHSCROLL = 0x0080;
inline constexpr DWORD ES_READONLY = 0x0800;
inline constexpr DWORD SS_LEFT = 0x0000;
inline constexpr DWORD SS_ICON = 0x0003;
inline constexpr DWORD SS_NOPREFIX = 0x0080;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;

#endif  // _WIN32

// The framework's help command, sent when the operator presses F1.
inline constexpr UINT ID_HELP = 0xE146;
static_assert(ID_HELP == 57670);
// Help contexts of resources start here; a dialog's context is this plus its template number.
inline constexpr DWORD HID_BASE_RESOURCE = 0x00020000;
// Language of the resources: Japanese.
inline constexpr WORD LANG_JAPANESE_JAPAN = 0x0411;
