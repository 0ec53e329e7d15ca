// The programs' exit statuses and their one-line reasons. Runs once, when a program ends.
#include "run/run_report.h"

#include <cstring>

std::string KeywordListReason(const KeywordListStatus& list) {
  if (list.path.empty()) {
    return "the keyword list orvan.key cannot be found: the program's own path cannot be had, "
           "or is too long";
  }
  if (list.error_number != 0) {
    return "cannot read the keyword list " + list.path + ": " + std::strerror(list.error_number);
  }
  return "no keyword in the keyword list " + list.path;
}

ExitReport ReportRunEnd(const CCheckRun& run, bool user_list_opened,
                        const std::string& host_failure,
                        std::string (*to_terminal)(std::string_view cp932)) {
  if (!user_list_opened) {
    return {kExitHostFailure, "the host's user list did not open" +
                                  (host_failure.empty() ? std::string() : ": " + host_failure)};
  }
  if (!host_failure.empty()) return {kExitHostFailure, "host failure: " + host_failure};
  switch (run.End()) {
    case RunEnd::kAllUsersDone:
      return {kExitRunCompleted, {}};
    case RunEnd::kNoKeyword:
      return {kExitRunCancelled, KeywordListReason(run.KeywordList())};
    case RunEnd::kFolderNotOpened:
      return {kExitRunCancelled, "the folder of user " + to_terminal(run.m_userRecord.Name()) +
                                     " could not be opened; the users after it were not checked"};
    case RunEnd::kNotEnded:
      break;
  }
  return {kExitRunCancelled, "the run was ended before every user was checked"};
}
