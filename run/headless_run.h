// The check run without a window: a plain queue stands in for the window's message loop, and the
// start-up sequence around it is the one the program performs, minus the window.
//
//   std::unique_ptr<HostLibrary> host = BindHostLibrary(&error);
//   auto run = std::make_unique<CHeadlessRun>(*host);
//   int end = RunHeadless(*host, *run, nullptr);   // kIdOk or kIdCancel
//
// Used by the headless driver orlexmon-run, the end-to-end tests and the benchmark. One thread.
#pragma once

#include <deque>

#include "host/host_library.h"
#include "run/check_run.h"

class CHeadlessRun : public CCheckRun {
 public:
  explicit CHeadlessRun(HostLibrary& host) : CCheckRun(host) {}

  // Runs queued commands in order until IDOK or IDCANCEL, or until the queue is empty. Then does
  // what the window's end does: drops the steps still queued and runs CloseFolderOnDestroy.
  // Returns the ending command, or 0 when the queue ran dry without one.
  int RunQueue();

 protected:
  void PostCommand(int command) override { m_queue.push_back(command); }
  void Refresh() override {}  // no boxes; a driver that reports progress replaces it

  // The command whose step is running (kIdmNextUser or kIdmCheckMessage), or 0 between steps:
  // a driver tells from it and from what a step posts where the run stands.
  [[nodiscard]] int CurrentCommand() const { return m_current; }

 private:
  std::deque<int> m_queue;  // posted commands, oldest first
  int m_current = 0;        // the command being run, or 0
};

// The program's whole sequence without a window: HostAttach(0, "orLexmon"),
// HostOpenUserList(0, 0, "*"), the run from its start (the keyword list at `keyword_path`, or
// "orvan.key" beside the executable when null) to its end, HostCloseUserList when the user list
// opened, HostDetach. Returns what RunQueue returned; `*user_list_opened`, when given, becomes
// whether HostOpenUserList returned nonzero.
// REQUIRES: `run` is fresh and runs over `host`.
int RunHeadless(HostLibrary& host, CHeadlessRun& run, const char* keyword_path,
                bool* user_list_opened = nullptr);
