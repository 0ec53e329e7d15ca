// The Win32 backend: real dialogs from the executable's dialog templates, with their menus,
// icons and controls made by the system's dialog manager, a modal loop of our own over the
// thread's message queue, and posted commands that are real posted WM_COMMAND messages.
//
// A dialog is created hidden (the template's WS_VISIBLE is taken off a copy, as the desktop
// framework does) and subclassed: every message reaches the framework's CWnd through
// AfxCallWndProc, and what the framework does not handle goes to the dialog manager's own
// procedure (DefaultWindowProc). The modal loop, like any loop on the thread, dispatches every
// posted message, so the run's steps go on under the About box; a WM_COMMAND for a dialog that
// has ended is dropped (AfxDispatchPosted). Keys: the dialog manager handles Enter (IDOK, there
// being no default button), Esc (IDCANCEL), Tab and the menu keys; F1 without Shift, Ctrl or Alt
// becomes the help command ID_HELP here, before the dialog manager sees it.
//
// Texts cross as code-page-932 bytes and are converted to UTF-16 with code page 932 explicitly,
// whatever the system's own code page; only the Unicode (...W) calls take texts.
#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "framework/afxwin.h"
#include "framework/backend.h"
#include "framework/win32/win32_window.h"

namespace afx_win32 {

namespace {

constexpr UINT kCodePage = 932;

std::map<HWND, WindowState>& States() {
  static std::map<HWND, WindowState> states;
  return states;
}

// The icons that LoadAppIcon loaded, with their resource numbers.
std::map<HICON, UINT>& IconResources() {
  static std::map<HICON, UINT> icons;
  return icons;
}

LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowState* state = StateOf(hwnd);
  if (state == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  switch (message) {
    case WM_COMMAND:
      // Posted or sent, a command for a dialog that has ended is dropped.
      AfxDispatchPosted(state->wnd, message, wParam, lParam);
      return 0;
    case WM_DESTROY:
    case WM_NCDESTROY:
      // The framework runs its own destruction handling before it destroys the window.
      return CallWindowProcW(state->dialogProc, hwnd, message, wParam, lParam);
    default:
      return AfxCallWndProc(state->wnd, message, wParam, lParam);
  }
}

// The dialog procedure handles nothing: WM_INITDIALOG leaves the focus to ShowDialogWindow, and
// every later message goes through the subclass first.
INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace

WindowState* StateOf(HWND hwnd) {
  auto it = States().find(hwnd);
  return it != States().end() ? &it->second : nullptr;
}

std::wstring Widen(std::string_view cp932) {
  if (cp932.empty()) return {};
  const int length =
      MultiByteToWideChar(kCodePage, 0, cp932.data(), static_cast<int>(cp932.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) {
    MultiByteToWideChar(kCodePage, 0, cp932.data(), static_cast<int>(cp932.size()), wide.data(),
                        length);
  }
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = WideCharToMultiByte(kCodePage, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    WideCharToMultiByte(kCodePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                        length, nullptr, nullptr);
  }
  return bytes;
}

bool TranslateHelpKey(HWND dialog, const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.wParam != VK_F1) return false;
  if (GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) {
    return false;
  }
  SendMessageW(dialog, WM_COMMAND, ID_HELP, 0);
  return true;
}

void HandleLoopMessage(HWND dialog, MSG& msg) {
  if (TranslateHelpKey(dialog, msg)) return;
  if (IsDialogMessageW(dialog, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

UINT IconResourceOf(HICON icon) {
  const auto it = IconResources().find(icon);
  return it != IconResources().end() ? it->second : 0;
}

}  // namespace afx_win32

// ---------------------------------------------------------------------------------------------

namespace afx_backend {

using afx_win32::StateOf;
using afx_win32::WindowState;

void Init() {}

HWND CreateDialogWindow(CWnd* wnd, const AfxDialogTemplate& tmpl, HWND owner) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const HRSRC found = FindResourceExW(instance, MAKEINTRESOURCEW(5) /* RT_DIALOG */,
                                      MAKEINTRESOURCEW(tmpl.id), tmpl.language);
  const HRSRC any = found != nullptr
                        ? found
                        : FindResourceW(instance, MAKEINTRESOURCEW(tmpl.id), MAKEINTRESOURCEW(5));
  if (any == nullptr) return nullptr;
  const HGLOBAL loaded = LoadResource(instance, any);
  const DWORD size = SizeofResource(instance, any);
  if (loaded == nullptr || size < sizeof(DLGTEMPLATE)) return nullptr;
  // A copy without WS_VISIBLE: the window is shown once it is initialized and placed.
  std::vector<unsigned char> copy(static_cast<const unsigned char*>(LockResource(loaded)),
                                  static_cast<const unsigned char*>(LockResource(loaded)) + size);
  const bool extended = size >= 16 && copy[0] == 1 && copy[1] == 0 && copy[2] == 0xFF &&
                        copy[3] == 0xFF;  // DLGTEMPLATEEX: version 1, signature 0xFFFF
  DWORD style;
  const size_t styleOffset = extended ? 12 : 0;
  memcpy(&style, copy.data() + styleOffset, sizeof style);
  style &= ~static_cast<DWORD>(WS_VISIBLE);
  memcpy(copy.data() + styleOffset, &style, sizeof style);

  const HWND hwnd = CreateDialogIndirectParamW(
      instance, reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()), owner, afx_win32::DialogProc, 0);
  if (hwnd == nullptr) return nullptr;
  WindowState& state = afx_win32::States()[hwnd];
  state.wnd = wnd;
  state.owner = owner;
  state.dialogProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
  SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(afx_win32::SubclassProc));
  return hwnd;
}

void ShowDialogWindow(HWND hwnd, bool focusFirst) {
  WindowState* state = StateOf(hwnd);
  RECT window;
  GetWindowRect(hwnd, &window);
  const LONG width = window.right - window.left;
  const LONG height = window.bottom - window.top;
  RECT area;
  if (state != nullptr && state->owner != nullptr) {
    GetWindowRect(state->owner, &area);
  } else {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  // A template placed at (0, 0) asks to be centred: over its owner, or on the work area.
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  const AfxDialogTemplate* tmpl =
      state != nullptr ? AfxFindDialogTemplate(static_cast<CDialog*>(state->wnd)->GetTemplateId())
                       : nullptr;
  if (tmpl == nullptr || (tmpl->x == 0 && tmpl->y == 0)) {
    SetWindowPos(hwnd, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // The owner takes no input while its modal dialog runs.
  if (state != nullptr && state->owner != nullptr && IsWindowEnabled(state->owner)) {
    EnableWindow(state->owner, FALSE);
    state->ownerDisabled = true;
  }
  ShowWindow(hwnd, SW_SHOWNORMAL);
  SetForegroundWindow(hwnd);
  if (focusFirst) {
    const HWND first = GetNextDlgTabItem(hwnd, nullptr, FALSE);
    if (first != nullptr) SetFocus(first);
  }
  if (afx_win32::g_dialogShownHook) afx_win32::g_dialogShownHook(state->wnd);
}

void RunModalLoop(HWND hwnd) {
  WindowState* state = StateOf(hwnd);
  MSG msg;
  // The system paints only when no posted message waits, and a run posts its next step from each
  // step: so while the steps keep the queue busy, the windows are brought up to date here, once
  // per frame interval.
  constexpr ULONGLONG kFrameIntervalMs = 40;
  ULONGLONG lastPaint = GetTickCount64();
  while (state != nullptr && !state->endRequested) {
    const ULONGLONG now = GetTickCount64();
    if (now - lastPaint >= kFrameIntervalMs) {
      lastPaint = now;
      for (const auto& entry : afx_win32::States()) {
        RedrawWindow(entry.first, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
      }
    }
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {  // WM_QUIT: give it back to whoever runs the loop outside
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    afx_win32::HandleLoopMessage(hwnd, msg);
  }
}

void EndModalLoop(HWND hwnd) {
  WindowState* state = StateOf(hwnd);
  if (state == nullptr) return;
  state->endRequested = true;
  PostMessageW(hwnd, WM_NULL, 0, 0);  // wakes a loop that waits
}

void HideWindow(HWND hwnd) {
  WindowState* state = StateOf(hwnd);
  // The owner takes input again before the dialog goes, so that it gets the activation back.
  if (state != nullptr && state->ownerDisabled) {
    EnableWindow(state->owner, TRUE);
    state->ownerDisabled = false;
  }
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
               SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
}

void DestroyWindow(HWND hwnd) {
  ::DestroyWindow(hwnd);
  afx_win32::States().erase(hwnd);
}

void PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  PostMessageW(hwnd, message, wParam, lParam);
}

LRESULT DefaultWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowState* state = StateOf(hwnd);
  if (state == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return CallWindowProcW(state->dialogProc, hwnd, message, wParam, lParam);
}

HICON LoadAppIcon(UINT id) {
  const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
  if (icon != nullptr) afx_win32::IconResources()[icon] = id;
  return icon;
}

HICON SetIcon(HWND hwnd, HICON icon, bool big) {
  return reinterpret_cast<HICON>(DefaultWindowProc(hwnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                                                   reinterpret_cast<LPARAM>(icon)));
}

bool IsIconic(HWND hwnd) {
  WindowState* state = StateOf(hwnd);
  if (state != nullptr && state->testIconic) return true;
  return ::IsIconic(hwnd) != FALSE;
}

RECT GetClientRect(HWND hwnd) {
  WindowState* state = StateOf(hwnd);
  if (state != nullptr && state->testClientSize.cx > 0) {
    return RECT{0, 0, state->testClientSize.cx, state->testClientSize.cy};
  }
  RECT rect{0, 0, 0, 0};
  ::GetClientRect(hwnd, &rect);
  return rect;
}

int GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

bool SetControlText(HWND hwnd, int id, std::string_view bytes) {
  const HWND control = GetDlgItem(hwnd, id);
  if (control == nullptr) return false;
  WindowState* state = StateOf(hwnd);
  if (state != nullptr) {
    auto [it, added] = state->texts.try_emplace(id);
    // The box's text as last written: an unchanged text is not written again.
    if (!added && it->second.bytes == bytes) return true;
    if (added) {
      std::string shown;
      (void)GetControlText(hwnd, id, &shown);
      it->second.bytes = shown;
      if (shown == bytes) return true;
    }
    it->second.bytes.assign(bytes);
    ++it->second.writes;
  }
  SetWindowTextW(control, afx_win32::Widen(bytes).c_str());
  return true;
}

bool GetControlText(HWND hwnd, int id, std::string* bytes) {
  const HWND control = GetDlgItem(hwnd, id);
  if (control == nullptr) return false;
  const int length = GetWindowTextLengthW(control);
  std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(control, wide.data(), length + 1);
  wide.resize(static_cast<size_t>(got > 0 ? got : 0));
  *bytes = afx_win32::Narrow(wide);
  return true;
}

HDC BeginPaint(HWND hwnd) {
  WindowState* state = StateOf(hwnd);
  if (state == nullptr) return nullptr;
  state->paintDc = ::BeginPaint(hwnd, &state->paint);
  return state->paintDc;
}

void EndPaint(HWND hwnd, HDC) {
  WindowState* state = StateOf(hwnd);
  if (state == nullptr || state->paintDc == nullptr) return;
  ::EndPaint(hwnd, &state->paint);
  state->paintDc = nullptr;
}

void EraseIconBackground(HWND hwnd, HDC hdc) {
  DefaultWindowProc(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
}

bool DrawIcon(HDC hdc, int x, int y, HICON icon) {
  for (auto& [hwnd, state] : afx_win32::States()) {
    if (state.paintDc == hdc) {
      ++state.iconDraws;
      state.lastIconX = x;
      state.lastIconY = y;
      state.lastIcon = icon;
    }
  }
  return ::DrawIcon(hdc, x, y, icon) != FALSE;
}

}  // namespace afx_backend
