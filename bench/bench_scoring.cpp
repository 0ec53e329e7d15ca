// The scoring benchmark: NormalizeText, ScanText and ScoreMessage of the scoring core against the
// reference transcription (reference_scoring.h), on real Japanese text in code page 932; the scan
// against GNU grep (LC_ALL=C grep -F -o -f KEYWORDS) on the same 2 MiB of normalized text; the
// scan on texts made against it; and the scan index's size and build time.
//
// The corpus is made at start-up from the Japanese manual pages (manpages-ja): their sources are
// unpacked, roff request lines and font escapes dropped, and the rest converted to code page 932
// with iconv -c. Messages are consecutive slices of it, 2 KiB or 32 KiB each, cut at character
// boundaries, used in turn. Two kinds of keyword list, written to keyword files and loaded with
// the real loader, which normalizes them; the lists of 10, 100, 1000 and 9999 keywords of a kind
// are prefixes of one another:
//   dense:  2 to 8 characters of the corpus holding at least one Japanese character, so that
//           they occur often (a hit every few bytes at 9999);
//   sparse: pairs of kanji of the corpus drawn at random, which seldom occur together.
// Both implementations scan the same loaded tables.
//
// Worst cases, each a 32 KiB message of 'A' against 9999 keywords (kanji pairs after 'A's) that
// the message matches the start of at every position without completing any:
//   Shared32:   28 'A', then a kanji pair: 32 bytes, all sharing their first 28;
//   Nested32:   2 to 28 'A', then a kanji pair: a trie path with a branch at every depth;
//   Shared4090: 4090 'A', then a kanji pair.
//
// After the runs it prints the throughput ratios (reference time / ours, grep time / ours), the
// targets, and the index's size and build time for the lists above and for the largest list the
// loader accepts (9999 keywords of 4095 random bytes).
//
//   bench_scoring [--benchmark_filter=...] [other Google Benchmark flags]
//
// The whole tool against a pipeline of the normalization and grep, on about 15 MB of the corpus
// (the corpus twice over), for each list: orlexmon-score LIST TEXT against
// orlexmon-score --normalize TEXT | LC_ALL=C grep -F -o -f NORMALIZED-LIST | wc -l, started in
// turns, wall-clock and processor time (of all processes of each command), best of --repeat:
//
//   bench_scoring --whole-tool [--repeat N]
//
// BENCH_SCORING_CORPUS, when set, names a file that holds the corpus already (the pipeline's
// output, made beforehand where the pipeline cannot run: the Windows build, run under Wine by
// bench/bench_scoring_wine.sh, which also runs the Linux build over the same file). The grep
// comparison and the whole tool are Linux only.
#include <benchmark/benchmark.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bench/reference_scoring.h"
#include "scoring/keyword_table.h"
#include "scoring/normalize.h"
#include "scoring/scan_index.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kCorpusBytes = 6 * 1024 * 1024;     // raw text taken from the manual pages
constexpr size_t kGrepTextBytes = 2 * 1024 * 1024;   // normalized text for the grep comparison
constexpr size_t kToolTextBytes = 15 * 1000 * 1000;  // raw text for the whole tool, at least
constexpr size_t kWorstMessageBytes = 32767;         // a body field's text
constexpr int kKeywordCounts[] = {10, 100, 1000, KeywordTable::kMaxKeywords};
constexpr const char* kKinds[] = {"dense", "sparse"};
constexpr const char* kWorstCases[] = {"Shared32", "Nested32", "Shared4090"};
constexpr int kMessageSizes[] = {2 * 1024, 32 * 1024};
constexpr uint32_t kSeed = 932;

constexpr const char* kCorpusCommand =
    "for f in /usr/share/man/ja/man*/*.gz; do zcat \"$f\"; done 2>/dev/null"
    " | grep -v \"^[.']\" | sed -e 's/\\\\f[BIRP]//g' -e 's/\\\\-/-/g'"
    " | iconv -c -f UTF-8 -t CP932";

bool IsLead(unsigned char byte) { return IsLeadByte(byte); }

// Reads all of a command's standard output.
std::string ReadCommand(const std::string& command) {
  std::string out;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, got);
  pclose(pipe);
  return out;
}

// Length of the longest prefix of `text` not longer than `limit` that ends at a character
// boundary.
size_t CutAtCharacter(const std::string& text, size_t start, size_t limit) {
  size_t i = start;
  const size_t end = std::min(text.size(), start + limit);
  while (i < end) {
    const size_t step = IsLead(static_cast<unsigned char>(text[i])) ? 2 : 1;
    if (i + step > end) break;
    i += step;
  }
  return i - start;
}

std::string Normalized(const std::string& text) {
  std::string out = text;
  NormalizeText(out.data(), out.data());
  out.resize(std::strlen(out.c_str()));
  return out;
}

std::vector<std::string>* temporary_files = nullptr;  // removed at exit

std::string WriteTemporary(const std::string& bytes, const char* what) {
  std::string path = (std::filesystem::temp_directory_path() /
                      (std::string("bench_scoring_") + what + "_XXXXXX"))
                         .string();
  const int fd = mkstemp(path.data());  // a new file of our own name
  if (fd >= 0) close(fd);
  std::ofstream out(path, std::ios::binary);
  if (fd < 0 || !(out << bytes) || !out.flush()) {
    std::fprintf(stderr, "bench_scoring: cannot write %s\n", path.c_str());
    std::exit(1);
  }
  temporary_files->push_back(path);
  return path;
}

// The keyword lines of a list as a keyword file.
std::string ListFile(const std::vector<std::string>& lines, size_t count) {
  std::string file;
  for (size_t k = 0; k < count; ++k) file += lines[k] + "\n";
  return file;
}

// A keyword list loaded with the real loader, and what the benchmarks need of it.
struct List {
  std::unique_ptr<KeywordTable> table;  // loaded from `file`
  std::string file;                     // the keyword file as written
  std::string normalized_file;          // its keywords as loaded, one a line, for grep
  size_t keyword_bytes = 0;             // the keywords' bytes
  size_t index_bytes = 0;               // the scan index's
  double build_ms = 0;                  // the index's build time, best of five
};

List LoadList(const std::vector<std::string>& lines, size_t count, const char* what) {
  List list;
  list.file = WriteTemporary(ListFile(lines, count), what);
  list.table = std::make_unique<KeywordTable>();
  const int loaded = list.table->LoadKeywordFileFrom(list.file.c_str());
  if (loaded != static_cast<int>(std::min<size_t>(count, KeywordTable::kMaxKeywords))) {
    std::fprintf(stderr, "bench_scoring: loading %zu %s keywords gave %d\n", count, what, loaded);
    std::exit(1);
  }
  std::string normalized;
  std::vector<const char*> bytes;
  std::vector<uint32_t> lengths;
  for (int k = 0; k < loaded; ++k) {
    const CString& keyword = *list.table->m_pKeywords[k];
    normalized += std::string(keyword.View()) + "\n";
    bytes.push_back(keyword.GetString());
    lengths.push_back(static_cast<uint32_t>(keyword.GetLength()));
    list.keyword_bytes += lengths.back();
  }
  list.normalized_file = WriteTemporary(normalized, "normalized");
  list.index_bytes = list.table->Index()->Bytes();
  list.build_ms = 1e9;
  for (int round = 0; round < 5; ++round) {
    const auto start = Clock::now();
    const auto index =
        ScanIndex::Build(bytes.data(), lengths.data(), list.table->m_nWeights, loaded);
    list.build_ms = std::min(
        list.build_ms, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    benchmark::DoNotOptimize(index.get());
  }
  return list;
}

struct Fixture {
  std::string raw;                                     // the corpus, code page 932
  std::map<int, std::vector<std::string>> messages;    // by size: raw message bodies
  std::map<int, std::vector<std::string>> normalized;  // by size: the same, normalized
  std::string title;                                   // a short raw title for ScoreMessage
  std::map<std::string, List> lists;                   // by "dense/100", "Shared32", ...
  std::string grep_text;                               // 2 MiB of normalized text
  std::string grep_text_file;                          // the same, as a file for grep
  std::string worst_message;                           // 32 KiB of 'A'
};

Fixture* fixture = nullptr;

std::string ListName(const char* kind, int count) {
  return std::string(kind) + "/" + std::to_string(count);
}

// Keyword lines of 2 to 8 characters at random character boundaries of the corpus, without
// control bytes (so without line ends and TABs), holding at least one byte above 0x7F.
std::vector<std::string> DenseLines(const std::string& raw) {
  std::vector<size_t> boundaries;
  for (size_t i = 0; i < raw.size();) {
    boundaries.push_back(i);
    i += IsLead(static_cast<unsigned char>(raw[i])) ? 2 : 1;
  }
  std::mt19937 random(kSeed);
  std::vector<std::string> lines;
  while (static_cast<int>(lines.size()) < KeywordTable::kMaxKeywords) {
    const size_t b = std::uniform_int_distribution<size_t>(0, boundaries.size() - 9)(random);
    const int characters = std::uniform_int_distribution<int>(2, 8)(random);
    const std::string keyword =
        raw.substr(boundaries[b], boundaries[b + static_cast<size_t>(characters)] - boundaries[b]);
    bool japanese = false, control = false;
    for (const char c : keyword) {
      japanese |= static_cast<unsigned char>(c) >= 0x80;
      control |= static_cast<unsigned char>(c) < 0x20;
    }
    if (japanese && !control) lines.push_back(keyword);
  }
  return lines;
}

// The kanji of the corpus (two-byte characters from 0x889F on), in order of first appearance.
std::vector<std::string> Kanji(const std::string& raw) {
  std::vector<std::string> kanji;
  std::set<std::string> seen;
  for (size_t i = 0; i + 1 < raw.size();) {
    const auto lead = static_cast<unsigned char>(raw[i]);
    if (!IsLead(lead)) {
      ++i;
      continue;
    }
    const std::string character = raw.substr(i, 2);
    const unsigned code = lead << 8 | static_cast<unsigned char>(raw[i + 1]);
    if (code >= 0x889F && seen.insert(character).second) kanji.push_back(character);
    i += 2;
  }
  return kanji;
}

// Distinct pairs of kanji drawn at random.
std::vector<std::string> SparseLines(const std::vector<std::string>& kanji) {
  std::mt19937 random(kSeed + 1);
  std::uniform_int_distribution<size_t> pick(0, kanji.size() - 1);
  std::set<std::string> seen;
  std::vector<std::string> lines;
  while (static_cast<int>(lines.size()) < KeywordTable::kMaxKeywords) {
    const std::string pair = kanji[pick(random)] + kanji[pick(random)];
    if (seen.insert(pair).second) lines.push_back(pair);
  }
  return lines;
}

// The worst cases' keyword lines: 'A's, then a distinct pair of kanji, which normalization
// leaves alone.
std::vector<std::string> WorstLines(const std::string& name,
                                    const std::vector<std::string>& kanji) {
  std::vector<std::string> lines;
  for (int k = 0; k < KeywordTable::kMaxKeywords; ++k) {
    const size_t as = name == "Shared32" ? 28 : name == "Nested32" ? 2 + k % 27 : 4090;
    const auto i = static_cast<size_t>(k);
    lines.push_back(std::string(as, 'A') + kanji[i % kanji.size()] +
                    kanji[(i / kanji.size()) % kanji.size()]);
  }
  return lines;
}

void BuildFixture() {
  fixture = new Fixture;
  Fixture& f = *fixture;
  if (const char* corpus = std::getenv("BENCH_SCORING_CORPUS")) {
    std::ifstream in(corpus, std::ios::binary);
    f.raw.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } else {
    f.raw = ReadCommand(kCorpusCommand);
  }
  if (f.raw.size() < kCorpusBytes) {
    std::fprintf(stderr,
                 "bench_scoring: the Japanese manual pages gave only %zu bytes of text; install "
                 "manpages-ja (and man-db, iconv)\n",
                 f.raw.size());
    std::exit(1);
  }
  f.raw.erase(std::remove(f.raw.begin(), f.raw.end(), '\0'), f.raw.end());

  std::string corpus = f.raw.substr(0, CutAtCharacter(f.raw, 0, kCorpusBytes));
  for (const int size : kMessageSizes) {
    size_t start = 0;
    // Messages cover the first 4 MiB of the corpus.
    while (start + static_cast<size_t>(size) <= 4 * 1024 * 1024) {
      const size_t length = CutAtCharacter(corpus, start, static_cast<size_t>(size));
      f.messages[size].push_back(corpus.substr(start, length));
      f.normalized[size].push_back(Normalized(f.messages[size].back()));
      start += length;
    }
  }
  f.title = corpus.substr(0, CutAtCharacter(corpus, 4096, 60));

  const std::vector<std::string> kanji = Kanji(corpus);
  const std::vector<std::string> dense = DenseLines(corpus);
  const std::vector<std::string> sparse = SparseLines(kanji);
  for (const int count : kKeywordCounts) {
    const auto n = static_cast<size_t>(count);
    f.lists.emplace(ListName("dense", count), LoadList(dense, n, "dense"));
    f.lists.emplace(ListName("sparse", count), LoadList(sparse, n, "sparse"));
  }
  for (const char* name : kWorstCases) {
    f.lists.emplace(name, LoadList(WorstLines(name, kanji), KeywordTable::kMaxKeywords, name));
  }
  f.worst_message = std::string(kWorstMessageBytes, 'A');

  const std::string all = Normalized(corpus);
  f.grep_text = all.substr(0, CutAtCharacter(all, 0, kGrepTextBytes));
  f.grep_text_file = WriteTemporary(f.grep_text, "text");
}

// The largest list the loader accepts: 9999 keywords of 4095 random bytes (none of them NUL,
// TAB, LF, CR or 0x1A), for the index's size and build time.
List LargestList() {
  std::mt19937 random(kSeed + 2);
  std::vector<std::string> lines(KeywordTable::kMaxKeywords, std::string(4095, ' '));
  for (std::string& line : lines) {
    for (char& c : line) {
      uint32_t b;
      do {
        b = 1 + static_cast<uint32_t>(random() % 255);
      } while (b == '\t' || b == '\n' || b == '\r' || b == 0x1A);
      c = static_cast<char>(b);
    }
  }
  return LoadList(lines, lines.size(), "largest");
}

enum class Impl { kOurs, kReference };

const char* ImplName(Impl impl) { return impl == Impl::kOurs ? "orlexmon" : "reference"; }

void NormalizeBench(benchmark::State& state, Impl impl, int size) {
  const std::vector<std::string>& messages = fixture->messages[size];
  std::vector<char> destination(static_cast<size_t>(size) + 1);
  size_t next = 0;
  int64_t bytes = 0;
  for (auto _ : state) {
    const std::string& message = messages[next];
    next = next + 1 == messages.size() ? 0 : next + 1;
    if (impl == Impl::kOurs) {
      benchmark::DoNotOptimize(NormalizeText(message.c_str(), destination.data()));
    } else {
      benchmark::DoNotOptimize(reference::NormalizeText(message.c_str(), destination.data()));
    }
    benchmark::ClobberMemory();
    bytes += static_cast<int64_t>(message.size());
  }
  state.SetBytesProcessed(bytes);
}

void ScanBench(benchmark::State& state, Impl impl, const std::vector<std::string>& texts,
               const KeywordTable& table) {
  size_t next = 0;
  int64_t bytes = 0, hits_total = 0;
  for (auto _ : state) {
    const std::string& text = texts[next];
    next = next + 1 == texts.size() ? 0 : next + 1;
    int32_t points = 0, hits = 0;
    if (impl == Impl::kOurs) {
      benchmark::DoNotOptimize(table.ScanText(text.c_str(), points, hits));
    } else {
      benchmark::DoNotOptimize(reference::ScanText(table, text.c_str(), points, hits));
    }
    bytes += static_cast<int64_t>(text.size());
    hits_total += hits;
  }
  state.SetBytesProcessed(bytes);
  state.counters["hits"] =
      benchmark::Counter(static_cast<double>(hits_total), benchmark::Counter::kAvgIterations);
}

void ScoreBench(benchmark::State& state, Impl impl, int size, const KeywordTable& table) {
  const std::vector<std::string>& messages = fixture->messages[size];
  std::vector<char> body(static_cast<size_t>(size) + 1);
  std::vector<char> title(fixture->title.size() + 1);
  size_t next = 0;
  int64_t bytes = 0, hits_total = 0;
  for (auto _ : state) {
    const std::string& message = messages[next];
    next = next + 1 == messages.size() ? 0 : next + 1;
    std::memcpy(body.data(), message.c_str(), message.size() + 1);
    std::memcpy(title.data(), fixture->title.c_str(), fixture->title.size() + 1);
    const Score score = impl == Impl::kOurs
                            ? table.ScoreMessage(body.data(), title.data())
                            : reference::ScoreMessage(table, body.data(), title.data());
    benchmark::DoNotOptimize(score);
    bytes += static_cast<int64_t>(message.size() + fixture->title.size());
    hits_total += score.hits;
  }
  state.SetBytesProcessed(bytes);
  state.counters["hits"] =
      benchmark::Counter(static_cast<double>(hits_total), benchmark::Counter::kAvgIterations);
}

#ifndef _WIN32
// Processor time of the finished child processes so far: user and system.
double ChildSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// GNU grep over the 2 MiB file: LC_ALL=C grep -F -o -f KEYWORDS TEXT | wc -l, started anew in
// each iteration (its start-up is part of what an operator would pay). The time taken is the
// processor time of the children (the shell, grep and wc), so that it compares with the processor
// time of the in-process benchmarks on a busy machine; the wall-clock time is a counter.
void GrepBench(benchmark::State& state, const List& list) {
  const std::string command = "LC_ALL=C grep -F -o -f '" + list.normalized_file + "' '" +
                              fixture->grep_text_file + "' | wc -l";
  int64_t bytes = 0;
  double matches = 0, wall = 0;
  for (auto _ : state) {
    const double before = ChildSeconds();
    const auto start = Clock::now();
    matches = std::strtod(ReadCommand(command).c_str(), nullptr);
    wall += std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(ChildSeconds() - before);
    bytes += static_cast<int64_t>(fixture->grep_text.size());
  }
  state.SetBytesProcessed(bytes);
  state.counters["hits"] = matches;
  state.counters["wall_ms"] =
      benchmark::Counter(wall * 1e3 / static_cast<double>(state.iterations()));
}
#endif  // _WIN32

// Keeps each run's throughput and time per iteration, to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, so that a saved run reads cleanly.
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations == 0) continue;
      const auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) rates_[run.benchmark_name()] = rate->second.value;
      seconds_[run.benchmark_name()] =
          run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    std::printf("\nThroughput ratios (ours / other; above 1 means ours is faster):\n");
    std::printf("%-44s %12s %12s %8s\n", "benchmark", "ours MB/s", "other MB/s", "ratio");
    for (const auto& [name, rate] : rates_) {
      if (name.find("/orlexmon") == std::string::npos) continue;
      std::string other = name;
      other.replace(other.find("/orlexmon"), 9, "/reference");
      Print(name, rate, other);
      if (name.rfind("ScanText2MiB/", 0) == 0) Print(name, rate, GrepName(name));
    }

    struct Target {
      std::string name;   // our benchmark
      std::string other;  // the one it is held against
      double ratio;       // the least throughput ratio aimed at
    };
    std::vector<Target> targets;
    for (const char* size : {"2048", "32768"}) {
      targets.push_back({std::string("NormalizeText/orlexmon/") + size,
                         std::string("NormalizeText/reference/") + size, 15});
    }
    for (const char* kind : kKinds) {
      for (const int count : kKeywordCounts) {
        const std::string ours = "ScanText2MiB/orlexmon/" + ListName(kind, count);
        targets.push_back({ours, GrepName(ours), count == 10 ? 2.0 : 4.0});
      }
      targets.push_back({"ScanText2MiB/orlexmon/" + ListName(kind, KeywordTable::kMaxKeywords),
                         "ScanText2MiB/orlexmon/" + ListName(kind, 100), 0.5});
    }
    std::printf("\nTargets:\n");
    for (const Target& target : targets) {
      const auto ours = rates_.find(target.name);
      const auto other = rates_.find(target.other);
      if (ours == rates_.end() || other == rates_.end() || other->second <= 0) continue;
      const double ratio = ours->second / other->second;
      std::printf("  %-38s %6.2fx %-44s (aim >= %.1fx) %s\n", target.name.c_str(), ratio,
                  ("vs " + target.other).c_str(), target.ratio,
                  ratio >= target.ratio ? "met" : "MISSED");
    }
    for (const char* name : kWorstCases) {
      const auto found = seconds_.find(std::string("WorstCase/orlexmon/") + name);
      if (found == seconds_.end()) continue;
      const double aim = std::string(name) == "Shared4090" ? 52000 : 10;
      std::printf("  %-38s %8.2f ms per 32 KiB message (aim < %.0f ms) %s\n", found->first.c_str(),
                  found->second * 1e3, aim, found->second * 1e3 < aim ? "met" : "MISSED");
    }
  }

 private:
  void Print(const std::string& name, double rate, const std::string& other) const {
    const auto found = rates_.find(other);
    if (found == rates_.end() || found->second <= 0) return;
    std::printf("%-44s %12.1f %12.1f %8.1f  vs %s\n", name.c_str(), rate / 1e6, found->second / 1e6,
                rate / found->second, other.c_str());
  }

  static std::string GrepName(const std::string& ours) {  // ScanText2MiB/orlexmon/KIND/N
    return "Grep2MiB/" + ours.substr(std::strlen("ScanText2MiB/orlexmon/")) + "/manual_time";
  }

  std::map<std::string, double> rates_;    // bytes per second by benchmark name
  std::map<std::string, double> seconds_;  // processor seconds per iteration by name
};

// The index's size and build time, against the targets for lists of short keywords and for the
// largest list.
void PrintIndexFigures() {
  std::printf("\nScan index (built by the load; build time best of five, the loader excluded):\n");
  std::printf("  %-16s %9s %14s %12s %10s\n", "list", "keywords", "keyword bytes", "index bytes",
              "build ms");
  const auto print = [](const std::string& name, const List& list) {
    std::printf("  %-16s %9d %14zu %12zu %10.3f\n", name.c_str(), list.table->Count(),
                list.keyword_bytes, list.index_bytes, list.build_ms);
  };
  for (const auto& [name, list] : fixture->lists) print(name, list);
  const List largest = LargestList();
  print("largest", largest);
  std::printf("Targets:\n");
  for (const char* name : {"dense/9999", "sparse/9999", "Shared32", "Nested32"}) {
    const List& list = fixture->lists.at(name);
    const bool met = list.index_bytes <= 4'000'000 && list.build_ms <= 20;
    std::printf("  %-16s %5.2f MB, %6.2f ms (aim <= 4 MB and 20 ms) %s\n", name,
                static_cast<double>(list.index_bytes) / 1e6, list.build_ms, met ? "met" : "MISSED");
  }
  std::printf("  %-16s %5.2f MB beside %.1f MB of keywords (aim <= 64 MB) %s\n", "largest",
              static_cast<double>(largest.index_bytes) / 1e6,
              static_cast<double>(largest.keyword_bytes) / 1e6,
              largest.index_bytes <= 64'000'000 ? "met" : "MISSED");
}

void Register() {
  for (const Impl impl : {Impl::kOurs, Impl::kReference}) {
    for (const int size : kMessageSizes) {
      benchmark::RegisterBenchmark(
          ("NormalizeText/" + std::string(ImplName(impl)) + "/" + std::to_string(size)).c_str(),
          [impl, size](benchmark::State& state) { NormalizeBench(state, impl, size); });
    }
  }
  for (const int size : kMessageSizes) {
    for (const char* kind : kKinds) {
      for (const int keywords : kKeywordCounts) {
        const KeywordTable* table = fixture->lists.at(ListName(kind, keywords)).table.get();
        for (const Impl impl : {Impl::kOurs, Impl::kReference}) {
          const std::string suffix = std::string(ImplName(impl)) + "/" + std::to_string(size) +
                                     "/" + ListName(kind, keywords);
          benchmark::RegisterBenchmark(("ScanText/" + suffix).c_str(),
                                       [impl, size, table](benchmark::State& state) {
                                         ScanBench(state, impl, fixture->normalized[size], *table);
                                       });
          benchmark::RegisterBenchmark(("ScoreMessage/" + suffix).c_str(),
                                       [impl, size, table](benchmark::State& state) {
                                         ScoreBench(state, impl, size, *table);
                                       });
        }
      }
    }
  }
  static std::vector<std::string> grep_text;
  grep_text = {fixture->grep_text};
  for (const char* kind : kKinds) {
    for (const int keywords : kKeywordCounts) {
      const List* list = &fixture->lists.at(ListName(kind, keywords));
#ifndef _WIN32
      benchmark::RegisterBenchmark(("Grep2MiB/" + ListName(kind, keywords)).c_str(),
                                   [list](benchmark::State& state) { GrepBench(state, *list); })
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond);
#endif
      for (const Impl impl : {Impl::kOurs, Impl::kReference}) {
        if (impl == Impl::kReference && keywords > 1000) continue;  // would take minutes
        benchmark::RegisterBenchmark(
            ("ScanText2MiB/" + std::string(ImplName(impl)) + "/" + ListName(kind, keywords))
                .c_str(),
            [impl, list](benchmark::State& state) {
              ScanBench(state, impl, grep_text, *list->table);
            })
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
  static std::vector<std::string> worst_message;
  worst_message = {fixture->worst_message};
  for (const char* name : kWorstCases) {
    const KeywordTable* table = fixture->lists.at(name).table.get();
    benchmark::RegisterBenchmark(
        (std::string("WorstCase/orlexmon/") + name).c_str(),
        [table](benchmark::State& state) { ScanBench(state, Impl::kOurs, worst_message, *table); })
        ->Unit(benchmark::kMillisecond);
  }
}

// --- The whole tool ---------------------------------------------------------------------------
#ifndef _WIN32

// The directory of this program, where orlexmon-score is built too.
std::string ProgramDirectory() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string dir(path, static_cast<size_t>(n));
  return dir.substr(0, dir.rfind('/'));
}

struct Timing {
  double wall = 1e9;  // seconds, best of the runs
  double cpu = 1e9;   // processor seconds of all the command's processes, best of the runs
  std::string out;    // the command's output
};

void TimeCommand(const std::string& command, Timing& timing) {
  const double before = ChildSeconds();
  const auto start = Clock::now();
  timing.out = ReadCommand(command);
  timing.wall = std::min(timing.wall, std::chrono::duration<double>(Clock::now() - start).count());
  timing.cpu = std::min(timing.cpu, ChildSeconds() - before);
}

int WholeTool(int repeat) {
  const std::string tool = ProgramDirectory() + "/orlexmon-score";
  if (access(tool.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "bench_scoring: %s not found; build the orlexmon-score target\n",
                 tool.c_str());
    return 1;
  }
  std::string text;
  while (text.size() < kToolTextBytes) text += fixture->raw;
  const std::string text_file = WriteTemporary(text, "tool_text");
  std::printf("whole tool: %zu bytes of raw code-page-932 text, best of %d runs, in turns\n",
              text.size(), repeat);
  std::printf("  ours:     %s LIST TEXT\n", tool.c_str());
  std::printf("  pipeline: %s --normalize TEXT | LC_ALL=C grep -F -o -f NORMALIZED-LIST | wc -l\n",
              tool.c_str());
  std::printf(
      "\n| list | keywords | ours s | pipeline s | wall ratio | ours cpu s | pipeline cpu s "
      "| cpu ratio | ours hits | grep matches |\n|---|---|---|---|---|---|---|---|---|---|\n");
  for (const char* kind : kKinds) {
    for (const int count : kKeywordCounts) {
      const List& list = fixture->lists.at(ListName(kind, count));
      const std::string ours = "'" + tool + "' '" + list.file + "' '" + text_file + "'";
      const std::string pipeline = "'" + tool + "' --normalize '" + text_file +
                                   "' | LC_ALL=C grep -F -o -f '" + list.normalized_file +
                                   "' | wc -l";
      Timing mine, theirs;
      for (int run = 0; run < repeat; ++run) {
        TimeCommand(ours, mine);
        TimeCommand(pipeline, theirs);
      }
      std::printf("| %s | %d | %.3f | %.3f | %.2fx | %.3f | %.3f | %.2fx | %ld | %ld |\n", kind,
                  count, mine.wall, theirs.wall, theirs.wall / mine.wall, mine.cpu, theirs.cpu,
                  theirs.cpu / mine.cpu, std::strtol(mine.out.c_str(), nullptr, 10),
                  std::strtol(theirs.out.c_str(), nullptr, 10));
      std::fflush(stdout);
    }
  }
  return 0;
}
#else
int WholeTool(int) {
  std::fprintf(stderr, "bench_scoring: --whole-tool runs on Linux only\n");
  return 2;
}
#endif  // _WIN32

}  // namespace

int main(int argc, char** argv) {
  // Our own flags first; the rest belongs to Google Benchmark.
  bool whole_tool = false;
  int repeat = 3;
  std::vector<char*> rest = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--whole-tool") == 0) {
      whole_tool = true;
    } else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else {
      rest.push_back(argv[i]);
    }
  }
  int rest_count = static_cast<int>(rest.size());
  benchmark::Initialize(&rest_count, rest.data());
  if (benchmark::ReportUnrecognizedArguments(rest_count, rest.data())) return 1;

  temporary_files = new std::vector<std::string>;
  BuildFixture();
  std::printf(
      "corpus: %zu bytes of code-page-932 text; messages: %zu of 2 KiB, %zu of 32 KiB; "
      "grep text: %zu bytes normalized\n",
      fixture->raw.size(), fixture->messages[2048].size(), fixture->messages[32768].size(),
      fixture->grep_text.size());
  int status = 0;
  if (whole_tool) {
    status = WholeTool(repeat);
  } else {
    Register();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    PrintIndexFigures();
    benchmark::Shutdown();
  }
  for (const std::string& path : *temporary_files) std::remove(path.c_str());
  return status;
}
