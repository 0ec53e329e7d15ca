// The application object and its start-up routine.
//
// InitInstance encloses everything the program does, from the first host call to the last:
// attach, open the user list, run the main window (the whole check run happens inside its modal
// loop), then close the user list (only if it opened) and detach. It returns FALSE, so the
// framework enters no message loop of its own and the process ends.
//
// The host library is bound by the program's entry before the framework starts, and handed over
// with SetHostLibrary; it stands where the platform's import table would.
//
//   CKeywordCheckApp theApp;   // the one global application object
//   int main() { ...; SetHostLibrary(host.get()); return AfxWinMain(); }
//
// Exit status (ExitInstance), as run_report.h gives it: 0 when the run ended with all users
// done, the user list had opened and the host reported no failure; 1 when the run was cancelled
// or the window closed; 4 for a host failure. Every status but 0 comes with one line on
// standard error; the window itself shows nothing of it.
#pragma once

#include "framework/afxwin.h"
#include "host/host_library.h"
#include "run/run_report.h"

// The host that start-up and the main window call. REQUIRES: set before InitInstance runs, and
// outlives it.
void SetHostLibrary(HostLibrary* host);

// Exit statuses of the program.
inline constexpr int kExitAllUsersDone = kExitRunCompleted;  // 全ユーザー完了, no host failure
inline constexpr int kExitRunNotDone = kExitRunCancelled;    // cancelled, or the window closed

class CKeywordCheckApp : public CWinApp {
 public:
  CKeywordCheckApp();
  ~CKeywordCheckApp() override;

  // The ten steps of start-up and shut-down. Always returns FALSE.
  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};
