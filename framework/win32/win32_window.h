// The Win32 backend's record of one dialog window, shared by backend_win32.cpp and the test
// access (testing_win32.cpp). An HWND is the system's own window handle.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>

class CWnd;

namespace afx_win32 {

// What the framework wrote into one control.
struct ControlText {
  std::string bytes;  // the text last written, in code page 932
  int writes = 0;     // times it was written since the window was made
};

struct WindowState {
  CWnd* wnd = nullptr;               // the framework window it shows
  HWND owner = nullptr;              // owner window, or null
  WNDPROC dialogProc = nullptr;      // the dialog manager's procedure, for default handling
  bool endRequested = false;         // EndModalLoop came
  bool ownerDisabled = false;        // the owner was disabled for the modal run
  std::map<int, ControlText> texts;  // by control id
  PAINTSTRUCT paint{};               // the paint in progress
  HDC paintDc = nullptr;             // its device context, while painting
  int iconDraws = 0;                 // DrawIcon calls while painting it
  int lastIconX = 0, lastIconY = 0;  // where the last one drew
  HICON lastIcon = nullptr;          // what the last one drew
  bool testIconic = false;           // test override: IsIconic answers true
  SIZE testClientSize{0, 0};         // test override: GetClientRect answers this when set
};

// The record of a dialog window of ours, or null.
WindowState* StateOf(HWND hwnd);

// Code page 932 <-> UTF-16, explicitly, whatever the system's code page.
std::wstring Widen(std::string_view cp932);
std::string Narrow(std::wstring_view wide);

// F1 without Shift, Ctrl or Alt: sends ID_HELP to `dialog` and returns true.
bool TranslateHelpKey(HWND dialog, const MSG& msg);

// One message as the modal loop of `dialog` handles it: F1 becomes the help command, the dialog
// manager takes what is its own (Enter, Esc, Tab, control mnemonics), and everything else is
// translated and dispatched (menu keys and Alt+F4 reach the system's default handling so).
void HandleLoopMessage(HWND dialog, MSG& msg);

// The number of the icon resource that LoadAppIcon loaded `icon` from, or 0.
UINT IconResourceOf(HICON icon);

// Test hook: called after a dialog has been shown.
inline std::function<void(CWnd*)> g_dialogShownHook;

}  // namespace afx_win32
