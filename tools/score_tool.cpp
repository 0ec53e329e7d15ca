// The keyword-list tester's whole behaviour, kept apart from main() so that the tests can run it
// with their own streams. Each file is read completely before anything about it is printed, so
// a failing file leaves no partial line behind; texts live on the heap and can be of any length.
#include "tools/score_tool.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "scoring/keyword_table.h"
#include "scoring/normalize.h"
#include "scoring/scan_index.h"
#include "tools/terminal_text.h"

namespace {

constexpr const char* kProgram = "orlexmon-score";
constexpr int kExitOk = 0;
constexpr int kExitNoKeyword = 1;
constexpr int kExitFindings = 1;  // --check found something
constexpr int kExitError = 2;
constexpr size_t kReadChunk = 64 * 1024;  // bytes asked of fread at a time

constexpr const char* kHelp =
    "usage: orlexmon-score KEYFILE [FILE...]   score each FILE: HITS<TAB>POINTS<TAB>NAME\n"
    "       orlexmon-score --explain KEYFILE [FILE...]\n"
    "                      every hit: NAME<TAB>OFFSET<TAB>LINE<TAB>WEIGHT<TAB>KEYWORD\n"
    "       orlexmon-score --check KEYFILE     what in the list cannot work as meant\n"
    "       orlexmon-score --normalize [FILE]  write FILE's normalized text, nothing added\n"
    "       orlexmon-score --keywords KEYFILE  list the loaded keywords: WEIGHT<TAB>KEYWORD\n"
    "       orlexmon-score --help              this text\n"
    "KEYFILE is a keyword list like orvan.key (code page 932, one keyword per line, optional\n"
    "TAB and weight), loaded with the check run's own rules. A FILE is a message body in code\n"
    "page 932, read up to its first NUL and scored with an empty title; '-' or no FILE reads\n"
    "standard input. Keywords past the 9999th line are ignored, with a warning.\n"
    "--explain: one line per hit, in text order. OFFSET is the hit's byte offset in the\n"
    "normalized text, LINE the keyword's line in KEYFILE. At a position the first keyword in\n"
    "the list wins, not the longest, and hits never overlap.\n"
    "--check: one line KEYFILE:LINE: ... per finding: keywords that never hit because an\n"
    "earlier one (or the same one, after normalization) is a prefix of them; weights read as 1\n"
    "because they were zero, negative or not a number; weights that wrapped past 32 bits;\n"
    "lines longer than 4095 bytes, read as several keywords; lines past the 9999th keyword.\n"
    "--explain and --check show keywords in the terminal's encoding; --normalize and\n"
    "--keywords write code-page-932 bytes.\n"
    "Exit status: 0 done (--check: nothing found); 1 the keyword list holds no keyword, or\n"
    "--check found something; 2 a file could not be read or the call was wrong (one line on\n"
    "standard error; the other files are still scored).\n";

// The name that error lines use for a FILE argument.
std::string_view DisplayName(std::string_view name) {
  return name == "-" ? std::string_view("standard input") : name;
}

void ReportError(std::FILE* err, std::string_view name, std::string_view reason) {
  std::fprintf(err, "%s: %.*s: %.*s\n", kProgram, static_cast<int>(name.size()), name.data(),
               static_cast<int>(reason.size()), reason.data());
}

int WrongCall(std::FILE* err, const char* reason) {
  std::fprintf(err, "%s: %s (see %s --help)\n", kProgram, reason, kProgram);
  return kExitError;
}

// Appends all of `stream` to `bytes`. Returns 0, or the errno of the failed read.
[[nodiscard]] int ReadStream(std::FILE* stream, std::string& bytes) {
  // Read straight into the string: a regular file tells its size, so that a large text is read
  // at once and never copied; a pipe does not, and the string grows as it comes.
  size_t room = kReadChunk;
  struct stat status;
  if (fstat(fileno(stream), &status) == 0 && S_ISREG(status.st_mode)) {
    const long here = std::ftell(stream);
    if (here >= 0 && status.st_size > here) {
      room = static_cast<size_t>(status.st_size - here) + 1;  // one more, to see the end
    }
  }
  size_t used = bytes.size();
  for (;;) {
    bytes.resize(used + room);
    const size_t got = std::fread(bytes.data() + used, 1, room, stream);
    used += got;
    if (got < room) break;
    room = std::max(room, used);
  }
  bytes.resize(used);
  if (std::ferror(stream)) return errno != 0 ? errno : EIO;
  return 0;
}

// Reads the text of `name` ("-" is `in`): its bytes up to the first NUL. On failure reports the
// file and reason on `err` and returns false.
[[nodiscard]] bool ReadText(const char* name, std::FILE* in, std::FILE* err, std::string& text) {
  text.clear();
  int error = 0;
  errno = 0;
  if (std::strcmp(name, "-") == 0) {
    error = ReadStream(in, text);
    std::clearerr(in);
  } else {
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) {
      ReportError(err, name, std::strerror(errno));
      return false;
    }
    error = ReadStream(file, text);
    std::fclose(file);
  }
  if (error != 0) {
    ReportError(err, DisplayName(name), std::strerror(error));
    return false;
  }
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return true;
}

// Loads the keyword list at `path` into `table`, opening it once (a FIFO or `<(...)` is read as
// it comes), and filling `report` when given. Returns kExitOk, kExitNoKeyword or kExitError,
// having reported anything but success on `err`; for --check (`checking`), which reports them
// itself, neither an empty list nor ignored lines.
int LoadList(const char* path, KeywordTable& table, std::FILE* err,
             KeywordListReport* report = nullptr, bool checking = false) {
  int error_number = 0;
  const int count = table.LoadKeywordFileFrom(path, &error_number, report);
  if (error_number != 0) {
    ReportError(err, path, std::strerror(error_number));
    return kExitError;
  }
  if (table.IgnoredLines() > 0 && !checking) {
    std::fprintf(err, "%s: %s: warning: %d keyword lines past the %dth ignored\n", kProgram, path,
                 table.IgnoredLines(), KeywordTable::kMaxKeywords);
  }
  if (count == 0) {
    if (!checking) ReportError(err, path, "no keyword in the list");
    return kExitNoKeyword;
  }
  return kExitOk;
}

// Everything printed goes through here, so that a failed write (a full disk, a closed pipe)
// turns into exit status 2.
int Finish(int status, std::FILE* out, std::FILE* err) {
  if (std::fflush(out) != 0 || std::ferror(out)) {
    ReportError(err, "standard output", std::strerror(errno != 0 ? errno : EIO));
    return kExitError;
  }
  return status;
}

int ScoreFiles(const char* keyfile, const char* const* names, int count, std::FILE* in,
               std::FILE* out, std::FILE* err) {
  auto table = std::make_unique<KeywordTable>();
  const int loaded = LoadList(keyfile, *table, err);
  if (loaded != kExitOk) return loaded;
  static const char* const kStandardInput[] = {"-"};
  if (count == 0) {
    names = kStandardInput;
    count = 1;
  }
  int status = kExitOk;
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (!ReadText(names[i], in, err, text)) {
      status = kExitError;
      continue;
    }
    char title[1] = {'\0'};
    const Score score = table->ScoreMessage(text.data(), title);
    std::fprintf(out, "%d\t%d\t%s\n", static_cast<int>(score.hits), static_cast<int>(score.points),
                 names[i]);
  }
  return Finish(status, out, err);
}

// The hits of one text: (offset, slot) in text order.
using Hits = std::vector<std::pair<size_t, int>>;

Hits FindHits(const KeywordTable& table, const char* text) {
  Hits hits;
  table.FindHits(
      text,
      [](void* context, size_t offset, int slot) {
        static_cast<Hits*>(context)->emplace_back(offset, slot);
      },
      &hits);
  return hits;
}

// A keyword or weight field in double quotes, in the terminal's encoding.
std::string Quoted(std::string_view cp932) {
  std::string quoted = "\"";
  quoted += ToTerminal(cp932);
  quoted += '"';
  return quoted;
}

int Explain(const char* keyfile, const char* const* names, int count, std::FILE* in, std::FILE* out,
            std::FILE* err) {
  auto table = std::make_unique<KeywordTable>();
  KeywordListReport report;
  const int loaded = LoadList(keyfile, *table, err, &report);
  if (loaded != kExitOk) return loaded;
  static const char* const kStandardInput[] = {"-"};
  if (count == 0) {
    names = kStandardInput;
    count = 1;
  }
  int status = kExitOk;
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (!ReadText(names[i], in, err, text)) {
      status = kExitError;
      continue;
    }
    // As ScoreMessage scores a body: normalized in place, then scanned.
    NormalizeText(text.data(), text.data());
    for (const auto& [offset, slot] : FindHits(*table, text.c_str())) {
      std::fprintf(out, "%s\t%zu\t%d\t%d\t%s\n", names[i], offset,
                   report.keywords[static_cast<size_t>(slot)].line,
                   static_cast<int>(table->m_nWeights[slot]),
                   ToTerminal(table->m_pKeywords[slot]->View()).c_str());
    }
  }
  return Finish(status, out, err);
}

// What --check finds: lines of the list that cannot work as their writer probably meant.
int Check(const char* keyfile, std::FILE* out, std::FILE* err) {
  auto table = std::make_unique<KeywordTable>();
  KeywordListReport report;
  const int loaded = LoadList(keyfile, *table, err, &report, true);
  if (loaded == kExitError) return loaded;

  std::vector<std::pair<int, std::string>> findings;  // (line, text); line 0: the whole list
  if (loaded == kExitNoKeyword) {
    findings.emplace_back(0, "no keyword in the list; the check run would not start");
  }
  const auto line_of = [&](int slot) { return report.keywords[static_cast<size_t>(slot)].line; };
  for (int k = 0; k < table->Count(); ++k) {
    const std::string_view keyword = table->m_pKeywords[k]->View();
    if (!table->Index()->IsLive(k)) {
      // The keyword that wins where this one would match: the first hit on its own bytes.
      const Hits hits = FindHits(*table, table->m_pKeywords[k]->GetString());
      const int winner = hits.at(0).second;
      const std::string_view other = table->m_pKeywords[winner]->View();
      findings.emplace_back(
          line_of(k),
          Quoted(keyword) + " never hits: " +
              (other == keyword ? "the same keyword as line " + std::to_string(line_of(winner))
                                : Quoted(other) + " on line " + std::to_string(line_of(winner)) +
                                      " comes first and matches wherever it does"));
    }
    const KeywordListReport::Source& source = report.keywords[static_cast<size_t>(k)];
    const std::string field = "weight " + Quoted(source.field);
    const std::string read_as = "; read as " + std::to_string(table->m_nWeights[k]);
    switch (source.weight) {
      case KeywordListReport::Weight::kNotANumber:
        findings.emplace_back(source.line, field + " is not a number" + read_as);
        break;
      case KeywordListReport::Weight::kNotPositive:
        findings.emplace_back(source.line, field + " is zero or negative" + read_as);
        break;
      case KeywordListReport::Weight::kWrapped:
        findings.emplace_back(source.line,
                              field + " does not fit in 32 bits and wrapped" + read_as);
        break;
      case KeywordListReport::Weight::kAbsent:
      case KeywordListReport::Weight::kRead:
        break;
    }
  }
  for (const int line : report.split_lines) {
    const auto pieces = std::count_if(report.keywords.begin(), report.keywords.end(),
                                      [&](const auto& s) { return s.line == line; });
    std::string text = "longer than 4095 bytes; read in pieces, as ";
    text += std::to_string(pieces);
    text += " keywords";
    findings.emplace_back(line, std::move(text));
  }
  for (const int line : report.ignored_lines) {
    static_assert(KeywordTable::kMaxKeywords == 9999);
    findings.emplace_back(line, "past the 9999th keyword; ignored");
  }

  std::stable_sort(findings.begin(), findings.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [line, text] : findings) {
    if (line == 0) {
      std::fprintf(out, "%s: %s\n", keyfile, text.c_str());
    } else {
      std::fprintf(out, "%s:%d: %s\n", keyfile, line, text.c_str());
    }
  }
  const int status = Finish(findings.empty() ? kExitOk : kExitFindings, out, err);
  if (status == kExitFindings) {
    std::fprintf(err, "%s: %s: %zu finding%s\n", kProgram, keyfile, findings.size(),
                 findings.size() == 1 ? "" : "s");
  }
  return status;
}

int Normalize(const char* name, std::FILE* in, std::FILE* out, std::FILE* err) {
  std::string text;
  if (!ReadText(name, in, err, text)) return kExitError;
  NormalizeText(text.data(), text.data());
  std::fputs(text.c_str(), out);
  return Finish(kExitOk, out, err);
}

int ListKeywords(const char* keyfile, std::FILE* out, std::FILE* err) {
  auto table = std::make_unique<KeywordTable>();
  const int loaded = LoadList(keyfile, *table, err);
  if (loaded != kExitOk) return loaded;
  for (int k = 0; table->m_pKeywords[k] != nullptr; ++k) {
    const std::string_view keyword = table->m_pKeywords[k]->View();
    std::fprintf(out, "%d\t", static_cast<int>(table->m_nWeights[k]));
    std::fwrite(keyword.data(), 1, keyword.size(), out);
    std::fputc('\n', out);
  }
  return Finish(kExitOk, out, err);
}

}  // namespace

int RunScoreTool(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err) {
  if (argc < 2) return WrongCall(err, "missing KEYFILE");
  const std::string_view first = argv[1];
  if (first == "--help" || first == "-h") {
    std::fputs(kHelp, out);
    return Finish(kExitOk, out, err);
  }
  if (first == "--normalize") {
    if (argc > 3) return WrongCall(err, "--normalize takes at most one FILE");
    return Normalize(argc == 3 ? argv[2] : "-", in, out, err);
  }
  if (first == "--keywords") {
    if (argc != 3) return WrongCall(err, "--keywords takes exactly one KEYFILE");
    return ListKeywords(argv[2], out, err);
  }
  if (first == "--explain") {
    if (argc < 3) return WrongCall(err, "--explain takes a KEYFILE");
    return Explain(argv[2], argv + 3, argc - 3, in, out, err);
  }
  if (first == "--check") {
    if (argc != 3) return WrongCall(err, "--check takes exactly one KEYFILE");
    return Check(argv[2], out, err);
  }
  int keyfile = 1;
  if (first == "--") {  // ends the options, for a keyword file whose name begins with '-'
    if (argc < 3) return WrongCall(err, "missing KEYFILE");
    keyfile = 2;
  } else if (first.size() > 1 && first[0] == '-') {
    std::fprintf(err, "%s: unknown option '%s' (see %s --help)\n", kProgram, argv[1], kProgram);
    return kExitError;
  }
  return ScoreFiles(argv[keyfile], argv + keyfile + 1, argc - keyfile - 1, in, out, err);
}
