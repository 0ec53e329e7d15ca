// orlexmon-run: the check run without a window. It binds the host library, attaches, opens the
// user list, runs the keyword check over every user exactly as the program does, closes and
// detaches; it prints one line per user as the window's user line would read at the user's end.
// For servers without a display, scripts, the benchmark and the kill test.
#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "host/host_binder.h"
#include "run/headless_run.h"

namespace {

constexpr int kExitCancelled = 1;  // the run ended with IDCANCEL
constexpr int kExitUsage = 2;      // bad command line
static_assert(kHostBindFailureStatus != kExitCancelled && kHostBindFailureStatus != kExitUsage);

constexpr char kUsage[] =
    "usage: orlexmon-run [--store PATH] [--keywords FILE] [--quiet]\n"
    "Runs the keyword check over every user of the host, without a window.\n"
    "  --store PATH     the bundled host's store (sets ORVAN_STORE for the host library)\n"
    "  --keywords FILE  the keyword list (default: orvan.key beside this program)\n"
    "  --quiet          print nothing but errors\n"
    "Exit status: 0 when every user was checked, 1 when the run was cancelled (no keyword, or a\n"
    "folder that could not be opened), 2 for a bad command line, 3 when the host library cannot\n"
    "be bound.\n";

#ifdef _WIN32
// Code-page-932 text in the console's code page (the system's when there is no console).
std::string ToUtf8(std::string_view cp932) {
  const int length = static_cast<int>(cp932.size());
  const int wideLength = MultiByteToWideChar(932, 0, cp932.data(), length, nullptr, 0);
  if (wideLength <= 0) return std::string(cp932);
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(932, 0, cp932.data(), length, wide.data(), wideLength);
  const UINT codePage = GetConsoleOutputCP() != 0 ? GetConsoleOutputCP() : GetACP();
  const int bytes = WideCharToMultiByte(codePage, 0, wide.data(), wideLength, nullptr, 0, nullptr,
                                        nullptr);
  std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), wideLength, out.data(), bytes, nullptr, nullptr);
  return out;
}

// The bundled host reads ORVAN_STORE.
void SetStore(const char* path) { _putenv_s("ORVAN_STORE", path); }
#else
// Code-page-932 text as UTF-8 for the terminal; the bytes as they are if they do not convert.
std::string ToUtf8(std::string_view cp932) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(cp932);
  std::string out(cp932.size() * 3 + 1, '\0');
  char* in = const_cast<char*>(cp932.data());
  size_t inLeft = cp932.size();
  char* to = out.data();
  size_t toLeft = out.size();
  size_t result = iconv(cd, &in, &inLeft, &to, &toLeft);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1)) return std::string(cp932);
  out.resize(out.size() - toLeft);
  return out;
}

void SetStore(const char* path) { setenv("ORVAN_STORE", path, 1); }
#endif

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The run, printing the user line whenever it reaches a user's end or the run's end.
class ReportingRun : public CHeadlessRun {
 public:
  ReportingRun(HostLibrary& host, bool quiet) : CHeadlessRun(host), m_quiet(quiet) {}

 protected:
  void Refresh() override {
    if (m_quiet) return;
    std::string_view line = m_strUser.View();
    bool final = EndsWith(line, kTextCheckDone) || EndsWith(line, kTextOpenError) ||
                 line == kTextAllUsersDone;
    if (!final || line == m_lastPrinted) return;
    m_lastPrinted = line;
    if (line == kTextAllUsersDone) {
      std::printf("%s\n", ToUtf8(line).c_str());
    } else {
      std::printf("%s\tmessages %d\tnew hits %d\tpoints %d\n", ToUtf8(line).c_str(),
                  m_nMessageCount, m_nHitTotal, m_nPointTotal);
    }
    std::fflush(stdout);
  }

 private:
  bool m_quiet;               // print nothing
  std::string m_lastPrinted;  // the user line printed last
};

}  // namespace

int main(int argc, char** argv) {
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
      std::fprintf(stderr, "orlexmon-run: unknown or incomplete argument '%s' (see --help)\n",
                   argv[i]);
      return kExitUsage;
    }
  }
  if (keywords != nullptr) {
    if (FILE* file = std::fopen(keywords, "rb")) {
      std::fclose(file);
    } else {
      std::fprintf(stderr, "orlexmon-run: cannot read the keyword list %s: %s\n", keywords,
                   std::strerror(errno));
      return kExitUsage;
    }
  }

  std::string error;
  std::unique_ptr<HostLibrary> host = BindHostLibrary(&error);
  if (host == nullptr) {
    std::fprintf(stderr, "orlexmon-run: %s\n", error.c_str());
    return kHostBindFailureStatus;
  }
  auto run = std::make_unique<ReportingRun>(*host, quiet);  // large: the records and the table
  int end = RunHeadless(*host, *run, keywords);
  return end == kIdOk ? 0 : kExitCancelled;
}
