// What a program that ran the check tells its caller: the exit status, and one line that says
// why when the status is not 0. Shared by orlexmon and orlexmon-run, so that both end alike.
//
//   ExitReport report = ReportRunEnd(*run, userListOpened, HostFailureText(*host), ToTerminal);
//   if (report.status != 0) std::fprintf(stderr, "orlexmon: %s\n", report.reason.c_str());
//   return report.status;
#pragma once

#include <string>
#include <string_view>

#include "host/host_binder.h"
#include "run/check_run.h"

// Exit statuses of orlexmon and orlexmon-run.
inline constexpr int kExitRunCompleted =
    0;  // 全ユーザー完了, the user list opened, no host failure
inline constexpr int kExitRunCancelled = 1;    // no keyword, a folder not opened, the window closed
inline constexpr int kExitBadCommandLine = 2;  // orlexmon-run only
inline constexpr int kExitHostNotBound = kHostBindFailureStatus;  // 3
inline constexpr int kExitHostFailure = 4;  // the user list did not open, or the host failed
static_assert(kExitHostNotBound == 3);

struct ExitReport {
  int status = kExitRunCompleted;  // the exit status
  std::string reason;              // one line, without a newline; empty for status 0
};

// The exit status and its reason for a run that has ended (its window destroyed, the host
// detached). `user_list_opened`: HostOpenUserList returned nonzero. `host_failure`: the host
// library's first failure (HostFailureText), empty when it reported none or cannot report.
// `to_terminal` turns code-page-932 text (a user's name) into the terminal's encoding.
// A host failure comes first: the user list that did not open, or the failure the host
// reported, gives kExitHostFailure whatever the run's end. Then the run's end: all users done
// gives kExitRunCompleted, any other end kExitRunCancelled.
[[nodiscard]] ExitReport ReportRunEnd(const CCheckRun& run, bool user_list_opened,
                                      const std::string& host_failure,
                                      std::string (*to_terminal)(std::string_view cp932));

// The reason for a keyword list that was not loaded, as ReportRunEnd gives it: that it cannot
// be found, cannot be read (and why), or holds no keyword.
[[nodiscard]] std::string KeywordListReason(const KeywordListStatus& list);
