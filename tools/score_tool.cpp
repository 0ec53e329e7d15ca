// The keyword-list tester's whole behaviour, kept apart from main() so that the tests can run it
// with their own streams. Each file is read completely before anything about it is printed, so
// a failing file leaves no partial line behind; texts live on the heap and can be of any length.
#include "tools/score_tool.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "scoring/keyword_table.h"
#include "scoring/normalize.h"

namespace {

constexpr const char* kProgram = "orlexmon-score";
constexpr int kExitOk = 0;
constexpr int kExitNoKeyword = 1;
constexpr int kExitError = 2;
constexpr size_t kReadChunk = 64 * 1024;  // bytes asked of fread at a time

constexpr const char* kHelp =
    "usage: orlexmon-score KEYFILE [FILE...]   score each FILE: HITS<TAB>POINTS<TAB>NAME\n"
    "       orlexmon-score --normalize [FILE]  write FILE's normalized text, nothing added\n"
    "       orlexmon-score --keywords KEYFILE  list the loaded keywords: WEIGHT<TAB>KEYWORD\n"
    "       orlexmon-score --help              this text\n"
    "KEYFILE is a keyword list like orvan.key (code page 932, one keyword per line, optional\n"
    "TAB and weight), loaded with the check run's own rules. A FILE is a message body in code\n"
    "page 932, read up to its first NUL and scored with an empty title; '-' or no FILE reads\n"
    "standard input. Keywords past the 9999th line are ignored, with a warning.\n"
    "Exit status: 0 done; 1 the keyword list holds no keyword; 2 a file could not be read or\n"
    "the call was wrong (one line on standard error; the other files are still scored).\n";

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
  auto chunk = std::make_unique<char[]>(kReadChunk);
  for (;;) {
    const size_t got = std::fread(chunk.get(), 1, kReadChunk, stream);
    bytes.append(chunk.get(), got);
    if (got < kReadChunk) break;
  }
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
// it comes). Returns kExitOk, kExitNoKeyword or kExitError, having reported anything but success
// on `err`.
int LoadList(const char* path, KeywordTable& table, std::FILE* err) {
  int error_number = 0;
  const int count = table.LoadKeywordFileFrom(path, &error_number);
  if (error_number != 0) {
    ReportError(err, path, std::strerror(error_number));
    return kExitError;
  }
  if (table.IgnoredLines() > 0) {
    std::fprintf(err, "%s: %s: warning: %d keyword lines past the %dth ignored\n", kProgram, path,
                 table.IgnoredLines(), KeywordTable::kMaxKeywords);
  }
  if (count == 0) {
    ReportError(err, path, "no keyword in the list");
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
