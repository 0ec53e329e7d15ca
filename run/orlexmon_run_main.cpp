// orlexmon-run: the check run without a window. It binds the host library, attaches, opens the
// user list, runs the keyword check over every user exactly as the program does, closes and
// detaches; it prints one line per user as the window's user line reads at the user's end.
// For servers without a display, scripts, the benchmark and the kill test.
//
// Its exit status is the program's (run_report.h), plus 2 for a bad command line; every status
// but 0 comes with one line on standard error that says why.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "host/host_binder.h"
#include "run/headless_run.h"
#include "run/run_report.h"
#include "tools/terminal_text.h"

namespace {

constexpr char kUsage[] =
    "usage: orlexmon-run [--store PATH] [--keywords FILE] [--quiet]\n"
    "Runs the keyword check over every user of the host, without a window.\n"
    "  --store PATH     the bundled host's store (sets ORVAN_STORE for the host library)\n"
    "  --keywords FILE  the keyword list (default: orvan.key beside this program); read once,\n"
    "                   so a FIFO or <(...) works\n"
    "  --quiet          print nothing but the line on standard error\n"
    "Exit status: 0 every user was checked and the host reported no failure; 1 the run was\n"
    "cancelled (no keyword, or a folder that could not be opened); 2 a bad command line, or a\n"
    "--keywords FILE that cannot be read; 3 the host library cannot be bound; 4 a host failure\n"
    "(the user list did not open, or the host library reported a failure). Every status but 0\n"
    "comes with one line on standard error saying why.\n";

// The bundled host reads ORVAN_STORE.
#ifdef _WIN32
void SetStore(const char* path) { _putenv_s("ORVAN_STORE", path); }
#else
void SetStore(const char* path) { setenv("ORVAN_STORE", path, 1); }
#endif

// Prints the line that says why, and gives the status.
int End(int status, const std::string& reason) {
  if (status != kExitRunCompleted) std::fprintf(stderr, "orlexmon-run: %s\n", reason.c_str());
  return status;
}

// The run, printing the user line whenever a step reaches a user's end or the run's end. Where
// the run stands is taken from the steps, never read from the line's text.
class ReportingRun : public CHeadlessRun {
 public:
  ReportingRun(HostLibrary& host, bool quiet) : CHeadlessRun(host), m_quiet(quiet) {}

 protected:
  void PostCommand(int command) override {
    CHeadlessRun::PostCommand(command);
    const int step = CurrentCommand();
    const bool folderDone = step == kIdmCheckMessage && command == kIdmNextUser;
    const bool folderNotOpened = step == kIdmNextUser && command == kIdCancel;
    const bool allDone = step == kIdmNextUser && command == kIdOk;
    if (m_quiet || !(folderDone || folderNotOpened || allDone)) return;
    const std::string line = ToTerminal(m_strUser.View());
    if (allDone) {
      std::printf("%s\n", line.c_str());
    } else {
      std::printf("%s\tmessages %d\tnew hits %d\tpoints %d\n", line.c_str(), m_nMessageCount,
                  m_nHitTotal, m_nPointTotal);
    }
    std::fflush(stdout);
  }

 private:
  bool m_quiet;  // print nothing
};

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");  // the terminal's encoding, for the lines printed
  const char* keywords = nullptr;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if ((arg == "--store" || arg == "--keywords") && i + 1 < argc) {
      if (arg == "--store") {
        SetStore(argv[++i]);
      } else {
        keywords = argv[++i];
      }
    } else {
      return End(kExitBadCommandLine,
                 "unknown or incomplete argument '" + std::string(arg) + "' (see --help)");
    }
  }

  std::string error;
  std::unique_ptr<HostLibrary> host = BindHostLibrary(&error);
  if (host == nullptr) return End(kExitHostNotBound, error);
  auto run = std::make_unique<ReportingRun>(*host, quiet);  // large: the records and the table
  bool userListOpened = false;
  RunHeadless(*host, *run, keywords, &userListOpened);

  const KeywordListStatus& list = run->KeywordList();
  if (list.ignored > 0) {
    std::fprintf(stderr, "orlexmon-run: %s: warning: %d keyword lines past the %dth ignored\n",
                 list.path.c_str(), list.ignored, KeywordTable::kMaxKeywords);
  }
  // A keyword list named on the command line that cannot be read is a bad command line.
  if (keywords != nullptr && list.error_number != 0) {
    return End(kExitBadCommandLine, KeywordListReason(list));
  }
  const ExitReport report =
      ReportRunEnd(*run, userListOpened, HostFailureText(*host), ToTerminal);
  return End(report.status, report.reason);
}
