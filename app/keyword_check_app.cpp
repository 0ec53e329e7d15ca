// Start-up and shut-down. The host calls are fixed in number and order: HostAttach and
// HostOpenUserList before the window, HostCloseUserList (if the list opened) and HostDetach
// after it; a folder left open is closed by the window's destruction, before DoModal returns.
// Nothing is shown: no message box, no log. The exit status tells how the run ended, and a
// status but 0 comes with one line on standard error.
#include "app/keyword_check_app.h"

#include <cassert>
#include <cstdio>

#include "tools/terminal_text.h"
#include "ui/keyword_check_dlg.h"
#include "ui/resources.h"

namespace {
HostLibrary* g_host = nullptr;  // the bound host library
}  // namespace

void SetHostLibrary(HostLibrary* host) { g_host = host; }

// clang-format off
BEGIN_MESSAGE_MAP(CKeywordCheckApp, CWinApp)
  ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()
// clang-format on

CKeywordCheckApp::CKeywordCheckApp() : CWinApp() {
  // The program's resources are part of it from the start, as the executable's would be.
  AfxSetResources(&OrLexmonResources());
}

CKeywordCheckApp::~CKeywordCheckApp() = default;

BOOL CKeywordCheckApp::InitInstance() {
  assert(g_host != nullptr);
  HostLibrary& host = *g_host;

  // 1. The 3-D look of dialogs and controls (a no-op here); the result does not matter.
  Enable3dControlsStatic();
  // 2. Attach; a failure does not stop start-up.
  host.HostAttach(0, "orLexmon");
  // 3. Open the user list; only a nonzero result asks for HostCloseUserList at the end.
  const int32_t userListOpen = host.HostOpenUserList(0, 0, "*");
  {
    // 4. The main window object, with no owner. No window exists yet.
    CKeywordCheckDlg dlg(host);
    // 5. It is the application's main window.
    m_pMainWnd = &dlg;
    // 6. The whole run happens inside the modal run; its end code does not steer start-up.
    const int end = dlg.DoModal();
    // 7. Close the user list, if it opened.
    if (userListOpen != 0) host.HostCloseUserList();
    // 8. Detach, whatever happened before.
    host.HostDetach();
    // The exit status, from how the run ended and what the host reports once it is detached.
    ExitReport report = ReportRunEnd(dlg, userListOpen != 0, HostFailureText(host), ToTerminal);
    if (end == -1 && report.status == kExitRunNotDone)
      report.reason = "the window could not be made";
    m_nExitCode = report.status;
    if (report.status != kExitAllUsersDone) {
      std::fprintf(stderr, "orlexmon: %s\n", report.reason.c_str());
      std::fflush(stderr);
    }
    // 9. The main window object goes at the end of this block.
  }
  // 10. No message loop of the application's own.
  return FALSE;
}
