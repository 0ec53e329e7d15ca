// The check run: a chain of posted commands that walks every user of the host, reads every
// message of one folder per user, scores the new ones and stores their scores.
//
// CCheckRun holds the run state and the keyword table, and performs the two steps. It reaches
// its window only through two operations that the window supplies: PostCommand (queue a command
// for the message loop; the step returns before it runs) and Refresh (write the seven display
// fields into their boxes). The main window derives from it; tests derive a class whose
// PostCommand feeds a plain queue.
//
// States (the command pending in brackets):
//   Starting --keywords loaded--> Idle [32773]
//   Starting --no keyword--------> Aborted [IDCANCEL]
//   Idle --OnNextUser, no user------------> Done [IDOK]
//   Idle --OnNextUser, folder opened------> FolderOpen [32774]
//   Idle --OnNextUser, folder not opened--> Aborted [IDCANCEL]
//   FolderOpen --OnCheckMessage, message--> FolderOpen [32774]
//   FolderOpen --OnCheckMessage, no more--> Idle [32773]
//   any --window ends--> Closed (CloseFolderOnDestroy)
#pragma once

#include <cstdint>

#include "framework/cstring.h"
#include "host/host_library.h"
#include "host/host_records.h"
#include "scoring/keyword_table.h"

// Command numbers of the run and of the dialog.
enum : int {
  kIdOk = 1,                // IDOK: the run's normal end
  kIdCancel = 2,            // IDCANCEL: the run cannot go on
  kIdmExit = 32771,         // IDM_EXIT
  kIdmAbout = 32772,        // IDM_ABOUT
  kIdmNextUser = 32773,     // IDM_NEXT_USER: OnNextUser
  kIdmCheckMessage = 32774  // IDM_CHECK_MESSAGE: OnCheckMessage
};

class CCheckRun {
 public:
  explicit CCheckRun(HostLibrary& host);
  virtual ~CCheckRun() = default;
  CCheckRun(const CCheckRun&) = delete;
  CCheckRun& operator=(const CCheckRun&) = delete;

  // Loads the keyword list (from the executable's directory) and posts the first step: 32773
  // when at least one keyword was loaded, IDCANCEL otherwise. Returns the number loaded.
  int StartRun();

  // Command 32773: next user.
  void OnNextUser();
  // Command 32774: next message of the open folder.
  void OnCheckMessage();
  // Part of the window's destruction: closes a folder that is still open, then releases the
  // keyword table.
  void CloseFolderOnDestroy();

  // The run state, bound to the window's boxes.
  int32_t m_nHitTotal = 0;     // hits of the current user's newly scored messages
  int32_t m_nPointTotal = 0;   // points of the current user, new and stored
  CString m_strUser;           // user line: name and status suffix, or the completion text
  int32_t m_nMessageCount = 0; // messages delivered from the current folder
  CString m_strDestination;    // destination of the current message
  CString m_strTitle;          // title of the current message, as delivered
  CString m_strMessagePoints;  // points of the most recent newly scored message
  UserRecord m_userRecord;     // the current user, filled in place by HostNextUser
  int32_t m_bFolderOpen = 0;   // result of the last HostOpenFolder; nonzero while open
  KeywordTable m_keywords;     // the keyword list, loaded by StartRun

 protected:
  virtual void PostCommand(int command) = 0;  // queue WM_COMMAND `command` for the loop
  virtual void Refresh() = 0;                 // write the seven fields into their boxes

  HostLibrary& host() { return m_host; }

 private:
  HostLibrary& m_host;  // the bound host library; outlives the run
};
