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
//
// The menu can send 32773 and 32774 by hand at any moment; the steps do not look at the state
// first. 32774 with no folder open does nothing; 32774 with a folder open starts a second chain
// of next-message steps (the first to reach the folder's end closes it, the other then finds no
// folder open and ends); 32773 with a folder open opens the next user's folder without closing
// the open one and overwrites m_bFolderOpen.
//
// Invariants, checked after every step in debug builds:
//   1. m_nMessageCount >= 0 and m_nHitTotal >= 0 (both only grow between two users).
//   2. m_bFolderOpen is nonzero only after a HostOpenFolder that returned nonzero and before the
//      HostCloseFolder that follows it.
//   3. m_strMessagePoints is empty or the decimal points of one message.
#pragma once

#include <cstdint>
#include <string>

#include "framework/cstring.h"
#include "host/host_library.h"
#include "host/host_records.h"
#include "scoring/keyword_table.h"

// The run's own texts, in code page 932.
inline constexpr char kTextAllUsersDone[] =  // 全ユーザー完了
    "\x91\x53\x83\x86\x81\x5B\x83\x55\x81\x5B\x8A\xAE\x97\xB9";
inline constexpr char kTextOpenError[] =  // " : メールオープンエラー"
    " : \x83\x81\x81\x5B\x83\x8B\x83\x49\x81\x5B\x83\x76\x83\x93\x83\x47\x83\x89\x81\x5B";
inline constexpr char kTextCheckDone[] =  // " : チェック完了"
    " : \x83\x60\x83\x46\x83\x62\x83\x4E\x8A\xAE\x97\xB9";
inline constexpr char kTextBoardKind[] = "\x8C\x66\x8E\xA6\x94\xC2";  // 掲示板
inline constexpr char kTextSentFolder[] =  // 送信済みトレイ
    "\x91\x97\x90\x4D\x8D\xCF\x82\xDD\x83\x67\x83\x8C\x83\x43";
static_assert(sizeof kTextAllUsersDone == 15 && sizeof kTextOpenError == 24 &&
              sizeof kTextCheckDone == 16 && sizeof kTextBoardKind == 7 &&
              sizeof kTextSentFolder == 15);

// How a run came to its end, as far as the run itself knows it.
enum class RunEnd {
  kNotEnded,         // no end posted: the window was closed by other means, or never ran
  kAllUsersDone,     // IDOK after the last user
  kNoKeyword,        // IDCANCEL at the start: the keyword list holds no keyword, or was not read
  kFolderNotOpened,  // IDCANCEL after a folder that could not be opened
};

// What the start of the run found out about the keyword list.
struct KeywordListStatus {
  std::string path;      // the list read; empty when no path could be formed
  int error_number = 0;  // errno of a failed open or read; 0 when it was read to its end
  int loaded = 0;        // keywords loaded
  int ignored = 0;       // keyword lines past the table's capacity, left out
};

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
  // when at least one keyword was loaded, IDCANCEL otherwise. Returns the number loaded. Calls
  // nothing of the host. The list is opened once, so a FIFO works.
  // REQUIRES: called once, before any step.
  int StartRun();
  // The same with the keyword list at `path` (the headless driver, tests).
  int StartRunFrom(const char* path);

  // How the run ended, and what its start found of the keyword list: for the program's exit
  // status and the line that says why. The run itself never looks at them.
  [[nodiscard]] RunEnd End() const { return m_end; }
  [[nodiscard]] const KeywordListStatus& KeywordList() const { return m_keywordList; }

  // Command 32773: next user. Fetches the next user into m_userRecord, resets the counters,
  // opens the user's folder and posts 32774; posts IDOK when no user is left and IDCANCEL when
  // the folder cannot be opened. Does not look at the run state first: with a folder open it
  // overwrites m_bFolderOpen without closing that folder.
  void OnNextUser();
  // Command 32774: one message of the open folder. Does nothing at all when no folder is open.
  // Scores a message that has none and stores its score, or adds its stored points; posts 32774.
  // At the end of the folder it closes the folder and posts 32773.
  void OnCheckMessage();
  // Part of the window's destruction: closes a folder that is still open, then releases the
  // keyword table. Steps still queued must not run after it.
  void CloseFolderOnDestroy();

  // The run state, bound to the window's boxes.
  int32_t m_nHitTotal = 0;     // hits of the current user's newly scored messages
  int32_t m_nPointTotal = 0;   // points of the current user, new and stored
  CString m_strUser;           // user line: name and status suffix, or the completion text
  int32_t m_nMessageCount = 0; // messages delivered from the current folder
  CString m_strDestination;    // destination of the current message
  CString m_strTitle;          // title of the current message, as delivered
  CString m_strMessagePoints;  // points of the most recent newly scored message, in decimal
  UserRecord m_userRecord;     // the current user, filled in place by HostNextUser; zero at first
  int32_t m_bFolderOpen = 0;   // result of the last HostOpenFolder; nonzero while open
  KeywordTable m_keywords;     // the keyword list, loaded by StartRun

 protected:
  virtual void PostCommand(int command) = 0;  // queue WM_COMMAND `command` for the loop
  virtual void Refresh() = 0;                 // write the seven fields into their boxes

  // Scores a new message: normalizes body and title in place and scans them against the keyword
  // table. A seam for the benchmark, which times it; nothing else needs to replace it.
  virtual Score ScoreNewMessage(char* body, char* title) {
    return m_keywords.ScoreMessage(body, title);
  }

  HostLibrary& host() { return m_host; }

 private:
  void CheckInvariants() const;  // asserts invariants 1 and 3 (debug builds)

  HostLibrary& m_host;               // the bound host library; outlives the run
  RunEnd m_end = RunEnd::kNotEnded;  // set where the run posts its end
  KeywordListStatus m_keywordList;   // set by the start of the run
};
