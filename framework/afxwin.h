// The application framework: command targets with message maps, windows, modal dialogs with
// data exchange, the paint context and the application object.
//
// It offers exactly what orLexmon's window and start-up use, under the names of the desktop
// framework the program was designed on. Everything here is toolkit-free; a backend (the Qt 6
// Widgets one lives in framework/qt/) makes the windows, runs the loops and paints.
//
// Threading: one thread, the user-interface thread, calls everything here.
//
// Messages. A window receives messages through WindowProc: sent ones at once (SendMessage, menu
// choices, keys), posted ones later from whatever loop runs (PostMessage puts them on the
// toolkit's event queue). A message is looked up in the window's message map, then in its base
// classes' maps; a WM_COMMAND that no window map handles goes on to the application's command
// table. Messages posted to a dialog after EndDialog are dropped, and so are those still queued
// when its window is destroyed.
//
//   class CMyDlg : public CDialog {
//    public:
//     CMyDlg() : CDialog(102) {}
//    protected:
//     void OnNext();
//     DECLARE_MESSAGE_MAP()
//   };
//   BEGIN_MESSAGE_MAP(CMyDlg, CDialog)
//     ON_COMMAND(32773, OnNext)
//   END_MESSAGE_MAP()
#pragma once

#include <string>
#include <string_view>

#include "framework/cstring.h"
#include "framework/resource.h"
#include "framework/win_types.h"

class CCmdTarget;
class CWnd;
class CDialog;
class CWinApp;

// ---------------------------------------------------------------------------------------------
// Message maps.

// A handler thunk: calls the mapped member function of `target` and returns its result.
using AfxHandlerProc = LRESULT (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;       // message number; 0 ends the map
  UINT nID;            // command number for WM_COMMAND, else 0
  AfxHandlerProc pfn;  // the handler
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();  // the base class's map, or null for the root
  const AFX_MSGMAP_ENTRY* lpEntries;     // this class's entries, ending with a zero entry
};

// clang-format off
#define DECLARE_MESSAGE_MAP()                                                                 \
 public:                                                                                      \
  static const AFX_MSGMAP* GetThisMessageMap();                                               \
  const AFX_MSGMAP* GetMessageMap() const override;                                           \
                                                                                              \
 private:

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }          \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                           \
    using ThisClass [[maybe_unused]] = theClass;                                              \
    using TheBaseClass = baseClass;                                                           \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                     \
      {0, 0, nullptr}};                                                                       \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap,                   \
                                          &_messageEntries[0]};                               \
    return &messageMap;                                                                       \
  }

// WM_COMMAND `id` calls `memberFxn()` (a member of the class or of one of its bases).
#define ON_COMMAND(id, memberFxn)                                                             \
  {WM_COMMAND, static_cast<UINT>(id), [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {          \
     static_cast<ThisClass*>(t)->memberFxn();                                                 \
     return 0;                                                                                \
   }},

#define ON_WM_PAINT()                                                                         \
  {WM_PAINT, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {                                \
     static_cast<ThisClass*>(t)->OnPaint();                                                   \
     return 0;                                                                                \
   }},

#define ON_WM_DESTROY()                                                                       \
  {WM_DESTROY, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {                              \
     static_cast<ThisClass*>(t)->OnDestroy();                                                 \
     return 0;                                                                                \
   }},

#define ON_WM_QUERYDRAGICON()                                                                 \
  {WM_QUERYDRAGICON, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {                        \
     return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(t)->OnQueryDragIcon());        \
   }},
// clang-format on

// The root of every message map.
class CCmdTarget {
 public:
  CCmdTarget() = default;
  virtual ~CCmdTarget() = default;
  CCmdTarget(const CCmdTarget&) = delete;
  CCmdTarget& operator=(const CCmdTarget&) = delete;

  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;

  // Runs the handler of WM_COMMAND `nID` from this object's maps. Returns FALSE when none has it.
  virtual BOOL OnCmdMsg(UINT nID);

 protected:
  // The first entry for `message` (and `nID` for WM_COMMAND) in this object's maps, or null.
  const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, UINT nID) const;
};

// ---------------------------------------------------------------------------------------------
// Windows.

class CWnd : public CCmdTarget {
 public:
  CWnd() = default;
  ~CWnd() override;

  HWND m_hWnd = nullptr;  // the window on screen; null while there is none
  HWND GetSafeHwnd() const { return m_hWnd; }

  // Queues `message` for this window; it is handled later from whatever loop runs, after the
  // current handler has returned. Returns FALSE when there is no window.
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  // Handles `message` now and returns its result. Returns 0 when there is no window.
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

  HICON SetIcon(HICON hIcon, BOOL bBigIcon);  // WM_SETICON; returns the previous icon
  BOOL IsIconic() const;                      // the window is minimized
  void GetClientRect(LPRECT lpRect) const;    // client area, from (0, 0)

  // Texts of the dialog's controls, as code-page-932 bytes. Setting a text equal to the one
  // shown changes nothing on screen.
  void SetDlgItemText(int nID, const char* text);
  CString GetDlgItemText(int nID) const;

  // The window's message procedure: WM_COMMAND goes to OnCommand, other messages to the message
  // map, and what no map handles to DefWindowProc.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Whether a message posted earlier may still be handled (dialogs drop them once ended).
  virtual bool AcceptsPostedMessages() const { return true; }

 protected:
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Default();  // DefWindowProc for the message being handled

  void OnPaint();    // default painting
  void OnDestroy();  // the framework's destruction handling

  DECLARE_MESSAGE_MAP()

 private:
  friend LRESULT AfxCallWndProc(CWnd* wnd, UINT message, WPARAM wParam, LPARAM lParam);
  struct CurrentMessage {
    UINT message;   // the message being handled
    WPARAM wParam;  // its first parameter
    LPARAM lParam;  // its second parameter
  };
  CurrentMessage m_current{0, 0, 0};  // for Default()
};

// Hands `message` to `wnd` (the backend's entry for every message): remembers it for Default(),
// then calls WindowProc.
LRESULT AfxCallWndProc(CWnd* wnd, UINT message, WPARAM wParam, LPARAM lParam);
// Hands a posted message to `wnd` unless it no longer accepts posted messages.
void AfxDispatchPosted(CWnd* wnd, UINT message, WPARAM wParam, LPARAM lParam);

#ifndef _WIN32  // on Windows the system's own
int GetSystemMetrics(int nIndex);
#endif
// Loads icon `id` from the program's resources at the standard icon size; null if there is none.
HICON AfxLoadIcon(UINT id);

// ---------------------------------------------------------------------------------------------
// Painting.

class CDC {
 public:
  HDC m_hDC = nullptr;  // the backend's paint context
  HDC GetSafeHdc() const { return m_hDC; }
  BOOL DrawIcon(int x, int y, HICON hIcon);  // draws the icon's standard-size image at (x, y)
};

// Begins painting `pWnd` for the duration of the object. Only valid inside WM_PAINT.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* pWnd);
  ~CPaintDC();
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;

 private:
  CWnd* m_pWnd;  // the window being painted
};

// ---------------------------------------------------------------------------------------------
// Data exchange.

class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
      : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
  BOOL m_bSaveAndValidate;  // TRUE: boxes to fields; FALSE: fields to boxes
  CWnd* m_pDlgWnd;          // the dialog
  bool m_bFailed = false;   // a box could not be read back; later exchanges are skipped
  int m_idFailed = 0;       // the box that failed
};

// Integer: field to box as "%d"; box to field from at most 31 characters, which must hold a
// decimal integer with an optional sign, blanks and tabs allowed around it, nothing else, and in
// range. On failure the field keeps its value and the exchange fails.
void DDX_Text(CDataExchange* pDX, int nIDC, int& value);
// Text: field to box up to its first NUL; box to field: the whole text.
void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);

// The integer rules of DDX_Text on their own (no window needed).
std::string AfxFormatInt(int value);
[[nodiscard]] bool AfxParseInt(std::string_view text, int* value);

// ---------------------------------------------------------------------------------------------
// Modal dialogs.

class CDialog : public CWnd {
 public:
  // REQUIRES: `nIDTemplate` names a dialog template of the resources when DoModal runs.
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  ~CDialog() override;

  // Creates the window from the template, calls OnInitDialog, shows the window and runs a modal
  // loop until EndDialog; then hides and destroys the window (OnDestroy runs) and returns the end
  // code. Returns -1, and calls nothing of the dialog, when the window cannot be created. A dialog
  // without owner is owned by the application's main window, if another one exists.
  virtual int DoModal();
  // Ends the modal loop with `nResult`; the loop stops when control returns to it.
  void EndDialog(int nResult);
  // Exchanges every field with its box through DoDataExchange; FALSE when a box did not read back.
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  UINT GetTemplateId() const { return m_nIDTemplate; }
  bool AcceptsPostedMessages() const override { return !m_bEnded; }

 protected:
  virtual BOOL OnInitDialog();  // UpdateData(FALSE); TRUE: focus the first control
  virtual void OnOK();          // UpdateData(TRUE); if it succeeds, EndDialog(IDOK)
  virtual void OnCancel();      // EndDialog(IDCANCEL)
  virtual void DoDataExchange(CDataExchange* pDX);
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  DECLARE_MESSAGE_MAP()

 private:
  UINT m_nIDTemplate;       // the template's number
  CWnd* m_pParentWnd;       // the owner given at construction, or null
  int m_nModalResult = -1;  // the end code
  bool m_bEnded = false;    // EndDialog has been called for the current run
};

// ---------------------------------------------------------------------------------------------
// The application.

#ifndef HELP_CONTEXT  // <windows.h> has it on Windows
inline constexpr UINT HELP_CONTEXT = 0x0001;
#endif

class CWinApp : public CCmdTarget {
 public:
  // Makes this object the process's application object. REQUIRES: no other one exists.
  explicit CWinApp(const char* lpszAppName = nullptr);
  ~CWinApp() override;

  virtual BOOL InitInstance();  // returns FALSE to end without a message loop

  // Switches dialogs and controls to the 3-D look. This platform draws them that way anyway, so
  // it only reports success.
  BOOL Enable3dControlsStatic() { return TRUE; }
  virtual int ExitInstance();   // returns the exit status, m_nExitCode

  CWnd* m_pMainWnd = nullptr;  // the main window; cleared when its window is destroyed
  int m_nExitCode = 0;         // exit status that ExitInstance returns

  // The default help handler: asks WinHelp for the active dialog's help context.
  void OnHelp();
  // Shows help context `dwData`. No help content ships, so it shows nothing.
  virtual void WinHelp(DWORD dwData, UINT nCmd = HELP_CONTEXT);

  DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();

// Starts the toolkit (once; later calls do nothing). With no display to talk to, windows are made
// on an off-screen surface, so the program runs unattended. Command-line arguments are not
// looked at.
void AfxWinInit();
// Runs the application object: AfxWinInit, InitInstance, then destroys a main window that is
// left and returns ExitInstance's status. There is no application message loop (InitInstance is
// expected to return FALSE). Returns -1 when there is no application object.
int AfxWinMain();

// The modal dialog whose loop is innermost, or null.
CDialog* AfxGetActiveDialog();
