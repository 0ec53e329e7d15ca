// What the framework asks of its toolkit backend.
//
// The toolkit-free framework (afxwin.cpp) decides what happens; a backend makes it happen on
// screen. Exactly one backend is linked into a program (framework/qt/ for Qt 6 Widgets on Linux,
// framework/win32/ for plain Win32 on Windows). Every
// function runs on the user-interface thread. Texts cross this boundary as code-page-932 bytes;
// the backend converts them where they reach the screen.
#pragma once

#include <string>
#include <string_view>

#include "framework/resource.h"
#include "framework/win_types.h"

class CWnd;

namespace afx_backend {

// Starts the toolkit unless it runs already.
void Init();

// Makes the (hidden) window of `wnd` from `tmpl`, owned by `owner` (may be null). Returns null
// when it cannot. The window sends its messages to `wnd` through AfxCallWndProc.
HWND CreateDialogWindow(CWnd* wnd, const AfxDialogTemplate& tmpl, HWND owner);
// Places the window (centred on the screen, or over its owner), shows it, and gives the focus to
// its first Tab-stop control when `focusFirst`.
void ShowDialogWindow(HWND hwnd, bool focusFirst);
// Runs a loop for `hwnd` until EndModalLoop(hwnd); other windows take no input meanwhile.
void RunModalLoop(HWND hwnd);
// Asks the loop of `hwnd` to stop; it stops once control returns to it.
void EndModalLoop(HWND hwnd);
void HideWindow(HWND hwnd);
// Destroys the window; messages still queued for it are dropped.
void DestroyWindow(HWND hwnd);

// Queues `message` for `hwnd`; the backend later calls AfxDispatchPosted.
void PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The platform's default handling of a message the framework does not handle itself (painting
// and the rest); 0 where the toolkit does it on its own.
LRESULT DefaultWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Icon `id` of the program's resources at the standard icon size; null if there is none.
HICON LoadAppIcon(UINT id);
HICON SetIcon(HWND hwnd, HICON icon, bool big);  // returns the previous one
bool IsIconic(HWND hwnd);
RECT GetClientRect(HWND hwnd);
int GetSystemMetrics(int index);

// Control texts. SetControlText writes only when `bytes` differs from the text shown. Both
// return false when the window has no control `id`.
bool SetControlText(HWND hwnd, int id, std::string_view bytes);
bool GetControlText(HWND hwnd, int id, std::string* bytes);

// Painting, inside WM_PAINT only.
HDC BeginPaint(HWND hwnd);
void EndPaint(HWND hwnd, HDC hdc);
void EraseIconBackground(HWND hwnd, HDC hdc);
bool DrawIcon(HDC hdc, int x, int y, HICON icon);

}  // namespace afx_backend
