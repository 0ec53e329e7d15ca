// Test access to the framework's windows: what is on screen, and input as the operator gives it.
//
// Tests of the window code use this instead of the toolkit, so that they stay toolkit-free and
// run against any backend. Every function acts on a window that exists (REQUIRES: hwnd is not
// null) and runs on the user-interface thread. Texts are code-page-932 bytes.
//
//   AfxTestOnDialogShown([](CWnd* dlg) { AfxTestPressKey(dlg->m_hWnd, AfxTestKey::kEscape); });
//   dlg.DoModal();
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "framework/afxwin.h"

struct AfxTestControl {
  int id;               // control id, -1 for none
  AfxControlKind kind;  // window class
  RECT rect;            // position in pixels within the client area
  std::string text;     // text shown (empty for a picture)
  bool readOnly;        // an edit box that takes no typing
  bool bordered;        // drawn with a border
  bool tabStop;         // reachable with Tab
  bool isDefault;       // the default push button
  int textWidth;        // pixels the text needs on one line in the control's font
  int textHeight;       // pixels the text's line needs
};

struct AfxTestMenuItem {
  std::string text;  // as shown, "&" included
  UINT command;      // the command it sends
  bool enabled;      // can be chosen
};

struct AfxTestMenuPopup {
  std::string text;                    // drop-down title, "&" included
  std::vector<AfxTestMenuItem> items;  // its items
};

struct AfxTestWindow {
  std::string caption;                  // title-bar text
  int clientWidth, clientHeight;        // client area in pixels
  int baseUnitX, baseUnitY;             // dialog font's average character width and height
  std::string fontFamily;               // family actually used for the dialog font
  int fontPixelSize;                    // dialog font size in pixels
  bool hasMinimizeBox, hasMaximizeBox;  // title-bar buttons
  bool hasCloseBox;                     // title-bar close button
  bool fixedSize;                       // the operator cannot resize it
  bool visible;                         // shown on screen
  bool modal;                           // blocks input to other windows
  HWND owner;                           // owner window, or null
  int screenX, screenY;                 // top-left of the client area on the screen
  std::vector<int> iconSizes;           // sizes of the window icon's images
  std::vector<AfxTestMenuPopup> menu;   // the menu bar
  int focusedControl;                   // id of the control with the focus, 0 if none
};

enum class AfxTestKey {
  kEnter,
  kEscape,
  kF1,
  kShiftF1,
  kTab,
  kF10,
  kAltF4,  // the window system's close key
  kAltF,   // menu mnemonics: the drop-down menu whose title marks F, H
  kAltH,
};

// What the window shows.
AfxTestWindow AfxTestDescribe(HWND hwnd);
std::vector<AfxTestControl> AfxTestControls(HWND hwnd);
// Times control `id`'s text has been written to the screen since the window was made.
int AfxTestControlWrites(HWND hwnd, int id);

// Input. Each acts at once, as the operator's input would, and returns when it is handled. A key
// that opens a menu may return only when the menu has closed again (where the system tracks a
// menu in a loop of its own, as Windows does); callbacks posted before it run in that loop.
void AfxTestPressKey(HWND hwnd, AfxTestKey key);
// Whether AfxTestPressKey can give `key` as the operator's keyboard would on this platform (false
// where the window manager or the toolkit's shortcut handling, out of the program's reach, takes
// it). Tests skip what cannot be given.
bool AfxTestCanPressKey(AfxTestKey key);
void AfxTestCloseBox(HWND hwnd);
// Chooses the menu item that sends `command`. Returns false when the menu has no such item.
bool AfxTestChooseMenu(HWND hwnd, UINT command);
// The index of the menu bar's drop-down menu that is open or selected, or -1.
int AfxTestActiveMenu(HWND hwnd);
// Closes the menu that is open, as a click elsewhere would (where the system tracks menus in a
// loop of its own, once control returns to that loop).
void AfxTestCloseMenu(HWND hwnd);
// Clicks push button `id`. Returns false when there is none.
bool AfxTestClickButton(HWND hwnd, int id);

// Painting as if minimized: forces IsIconic and the client size, repaints at once, and reports
// where the last DrawIcon put its icon.
void AfxTestSetIconic(HWND hwnd, bool iconic);
void AfxTestSetClientSize(HWND hwnd, int width, int height);
void AfxTestRepaint(HWND hwnd);
struct AfxTestIconDraw {
  int count;   // DrawIcon calls so far
  int x, y;    // position of the last one
  HICON icon;  // icon of the last one
};
AfxTestIconDraw AfxTestLastIconDraw(HWND hwnd);

// Runs `callback` later from whatever loop runs, in order with posted messages.
void AfxTestPost(std::function<void()> callback);
// Calls `hook` each time a dialog has been initialized and shown, before its loop starts;
// an empty function removes the hook.
void AfxTestOnDialogShown(std::function<void(CWnd*)> hook);
// Renders the window (frame excluded) into a PNG file. Returns false on failure.
bool AfxTestGrab(HWND hwnd, const std::string& path);
