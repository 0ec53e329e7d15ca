// The main window: a modal dialog that holds the check run and shows its progress.
//
// Start-up constructs it (with no owner) and runs it with DoModal. Its initialization loads the
// keyword list and posts the run's first step; the run's steps arrive as WM_COMMAND 32773 and
// 32774 through the message map, each posting the next, until the run posts IDOK (no user left)
// or IDCANCEL (no keyword, or a folder that did not open). The operator can end it at any moment
// (exit command or Enter: IDOK with read-back; Esc or the close box: IDCANCEL). However it ends,
// its destruction closes a folder that is still open and releases the keyword table before
// DoModal returns, and steps still queued never run.
//
//   CKeywordCheckDlg dlg(host);
//   dlg.DoModal();
//
// One thread: the user-interface thread, which is also the only caller of the host.
#pragma once

#include "framework/afxwin.h"
#include "host/host_library.h"
#include "run/check_run.h"
#include "ui/resource.h"

class CKeywordCheckDlg : public CDialog, public CCheckRun {
 public:
  // Sets up the fields (integers 0, texts empty, user record zeroed, no folder open, every
  // keyword slot empty) and loads the window icon. No window exists yet.
  explicit CKeywordCheckDlg(HostLibrary& host, CWnd* pParent = nullptr);
  ~CKeywordCheckDlg() override;

  static constexpr UINT IDD = IDD_KEYWORD_CHECK;

  HICON m_hIcon;  // the window icon IDI_APP

 protected:
  void DoDataExchange(CDataExchange* pDX) override;  // the seven boxes, in binding order
  BOOL OnInitDialog() override;  // icons, keyword list, first step; focus on IDC_USER

  void OnPaint();             // draws the icon while minimized, else default painting
  HCURSOR OnQueryDragIcon();  // the image shown while the minimized window is dragged
  void OnAbout();             // runs the About box; the run goes on meanwhile
  void OnDestroy();           // the framework's handling, then the run's folder close

  // The run's two window operations.
  void PostCommand(int command) override;  // PostMessage(WM_COMMAND, command, 0)
  void Refresh() override;                 // UpdateData(FALSE)

  DECLARE_MESSAGE_MAP()
};
