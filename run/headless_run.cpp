// The headless run: the command queue and the start-up sequence around it, in the order the
// program's start-up and main window follow, so that a run without a window makes the very same
// host calls as the program.
#include "run/headless_run.h"

int CHeadlessRun::RunQueue() {
  int end = 0;
  while (!m_queue.empty()) {
    int command = m_queue.front();
    m_queue.pop_front();
    m_current = command;
    if (command == kIdmNextUser) {
      OnNextUser();
    } else if (command == kIdmCheckMessage) {
      OnCheckMessage();
    }
    m_current = 0;
    if (command == kIdOk || command == kIdCancel) {
      end = command;
      break;
    }
  }
  m_queue.clear();  // a step still queued when the window ends never runs
  CloseFolderOnDestroy();
  return end;
}

int RunHeadless(HostLibrary& host, CHeadlessRun& run, const char* keyword_path,
                bool* user_list_opened) {
  host.HostAttach(0, "orLexmon");
  int32_t userListOpen = host.HostOpenUserList(0, 0, "*");
  if (user_list_opened != nullptr) *user_list_opened = userListOpen != 0;
  if (keyword_path != nullptr) {
    run.StartRunFrom(keyword_path);
  } else {
    run.StartRun();
  }
  int end = run.RunQueue();
  if (userListOpen != 0) host.HostCloseUserList();
  host.HostDetach();
  return end;
}
