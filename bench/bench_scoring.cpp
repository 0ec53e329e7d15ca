// The scoring benchmark: NormalizeText, ScanText and ScoreMessage of the scoring core against the
// reference transcription (reference_scoring.h), on real Japanese text in code page 932, and the
// scan against GNU grep (LC_ALL=C grep -F -o -f KEYWORDS) on the same 2 MiB of normalized text.
//
// The corpus is made at start-up from the Japanese manual pages (manpages-ja): their sources are
// unpacked, roff request lines and font escapes dropped, and the rest converted to code page 932
// with iconv -c. Messages are consecutive slices of it, 2 KiB or 32 KiB each, cut at character
// boundaries, used in turn. Keywords are drawn from the same corpus (2 to 8 characters holding
// at least one Japanese character, at a fixed seed), written to a keyword file and loaded with
// the real loader, which normalizes them; the lists of 10, 100, 1000 and 9999 keywords are
// prefixes of one another. Both implementations scan the same loaded tables.
//
// After the runs a table of ratios (reference time / ours, grep time / ours) is printed.
//
// BENCH_SCORING_CORPUS, when set, names a file that holds the corpus already (the pipeline's
// output, made beforehand where the pipeline cannot run: the Windows build, run under Wine by
// bench/bench_scoring_wine.sh, which also runs the Linux build over the same file). The grep
// comparison is Linux only.
//
//   bench_scoring [--benchmark_filter=...] [other Google Benchmark flags]
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
#include <string>
#include <vector>

#include "bench/reference_scoring.h"
#include "scoring/keyword_table.h"
#include "scoring/normalize.h"

namespace {

constexpr size_t kCorpusBytes = 6 * 1024 * 1024;    // raw text taken from the manual pages
constexpr size_t kGrepTextBytes = 2 * 1024 * 1024;  // normalized text for the grep comparison
constexpr int kKeywordCounts[] = {10, 100, 1000, KeywordTable::kMaxKeywords};
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
  return path;
}

struct Fixture {
  std::string raw;                                      // the corpus, code page 932
  std::map<int, std::vector<std::string>> messages;     // by size: raw message bodies
  std::map<int, std::vector<std::string>> normalized;   // by size: the same, normalized
  std::string title;                                    // a short raw title for ScoreMessage
  std::map<int, std::unique_ptr<KeywordTable>> tables;  // by keyword count
  std::map<int, std::string> keyword_files;             // by count: normalized keywords, one a line
  std::string grep_text;                                // 2 MiB of normalized text
  std::string grep_text_file;                           // the same, as a file for grep
  std::vector<std::string> temporary_files;             // removed at exit
};

Fixture* fixture = nullptr;

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
  f.raw.resize(CutAtCharacter(f.raw, 0, kCorpusBytes));
  f.raw.erase(std::remove(f.raw.begin(), f.raw.end(), '\0'), f.raw.end());

  for (const int size : kMessageSizes) {
    size_t start = 0;
    // Messages cover the first 4 MiB of the corpus.
    while (start + static_cast<size_t>(size) <= 4 * 1024 * 1024) {
      const size_t length = CutAtCharacter(f.raw, start, static_cast<size_t>(size));
      f.messages[size].push_back(f.raw.substr(start, length));
      f.normalized[size].push_back(Normalized(f.messages[size].back()));
      start += length;
    }
  }
  f.title = f.raw.substr(0, CutAtCharacter(f.raw, 4096, 60));

  // Keywords: 2 to 8 characters at random character boundaries, without control bytes (so
  // without line ends and TABs), holding at least one byte above 0x7F.
  std::vector<size_t> boundaries;
  for (size_t i = 0; i < f.raw.size();) {
    boundaries.push_back(i);
    i += IsLead(static_cast<unsigned char>(f.raw[i])) ? 2 : 1;
  }
  std::mt19937 random(kSeed);
  std::vector<std::string> lines;
  while (static_cast<int>(lines.size()) < KeywordTable::kMaxKeywords) {
    const size_t b = std::uniform_int_distribution<size_t>(0, boundaries.size() - 9)(random);
    const int characters = std::uniform_int_distribution<int>(2, 8)(random);
    const std::string keyword = f.raw.substr(
        boundaries[b], boundaries[b + static_cast<size_t>(characters)] - boundaries[b]);
    bool japanese = false, control = false;
    for (const char c : keyword) {
      japanese |= static_cast<unsigned char>(c) >= 0x80;
      control |= static_cast<unsigned char>(c) < 0x20;
    }
    if (japanese && !control) lines.push_back(keyword);
  }
  for (const int count : kKeywordCounts) {
    std::string list;
    for (int k = 0; k < count; ++k) list += lines[static_cast<size_t>(k)] + "\n";
    const std::string path = WriteTemporary(list, "keys");
    f.temporary_files.push_back(path);
    auto table = std::make_unique<KeywordTable>();
    if (table->LoadKeywordFileFrom(path.c_str()) != count) {
      std::fprintf(stderr, "bench_scoring: loading %d keywords failed\n", count);
      std::exit(1);
    }
    std::string normalized_list;
    for (int k = 0; k < count; ++k) {
      normalized_list += std::string(table->m_pKeywords[k]->View()) + "\n";
    }
    f.keyword_files[count] = WriteTemporary(normalized_list, "normalized_keys");
    f.temporary_files.push_back(f.keyword_files[count]);
    f.tables[count] = std::move(table);
  }

  const std::string all = Normalized(f.raw);
  f.grep_text = all.substr(0, CutAtCharacter(all, 0, kGrepTextBytes));
  f.grep_text_file = WriteTemporary(f.grep_text, "text");
  f.temporary_files.push_back(f.grep_text_file);
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
               int keywords) {
  const KeywordTable& table = *fixture->tables[keywords];
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

void ScoreBench(benchmark::State& state, Impl impl, int size, int keywords) {
  const KeywordTable& table = *fixture->tables[keywords];
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
// GNU grep over the 2 MiB file: LC_ALL=C grep -F -o -f KEYWORDS TEXT | wc -l, started anew in
// each iteration (its start-up is part of what an operator would pay). The time taken is the
// processor time of the children (the shell, grep and wc), so that it compares with the processor
// time of the in-process benchmarks on a busy machine; the wall-clock time is a counter.
double ChildSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void GrepBench(benchmark::State& state, int keywords) {
  const std::string command = "LC_ALL=C grep -F -o -f '" + fixture->keyword_files[keywords] +
                              "' '" + fixture->grep_text_file + "' | wc -l";
  int64_t bytes = 0;
  double matches = 0, wall = 0;
  for (auto _ : state) {
    const double before = ChildSeconds();
    const auto start = std::chrono::steady_clock::now();
    matches = std::strtod(ReadCommand(command).c_str(), nullptr);
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(ChildSeconds() - before);
    bytes += static_cast<int64_t>(fixture->grep_text.size());
  }
  state.SetBytesProcessed(bytes);
  state.counters["hits"] = matches;
  state.counters["wall_ms"] =
      benchmark::Counter(wall * 1e3 / static_cast<double>(state.iterations()));
}
#endif  // _WIN32

// Keeps each run's time per iteration, to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, so that a saved run reads cleanly.
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations == 0) continue;
      const auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) rates_[run.benchmark_name()] = rate->second.value;
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
                         std::string("NormalizeText/reference/") + size, 10});
      targets.push_back({std::string("ScanText/orlexmon/") + size + "/1000",
                         std::string("ScanText/reference/") + size + "/1000", 5});
      targets.push_back({std::string("ScanText/orlexmon/") + size + "/100",
                         std::string("ScanText/reference/") + size + "/100", 2});
    }
    for (const char* count : {"100", "1000"}) {
      const std::string ours = std::string("ScanText2MiB/orlexmon/") + count;
      targets.push_back({ours, GrepName(ours), 1});
    }
    std::printf("\nTargets:\n");
    for (const Target& target : targets) {
      const auto ours = rates_.find(target.name);
      const auto other = rates_.find(target.other);
      if (ours == rates_.end() || other == rates_.end() || other->second <= 0) continue;
      const double ratio = ours->second / other->second;
      std::printf("  %-32s %6.1fx %-36s (aim >= %.0fx) %s\n", target.name.c_str(), ratio,
                  ("vs " + target.other).c_str(), target.ratio,
                  ratio >= target.ratio ? "met" : "MISSED");
    }
  }

 private:
  void Print(const std::string& name, double rate, const std::string& other) const {
    const auto found = rates_.find(other);
    if (found == rates_.end() || found->second <= 0) return;
    std::printf("%-44s %12.1f %12.1f %8.1f  vs %s\n", name.c_str(), rate / 1e6, found->second / 1e6,
                rate / found->second, other.c_str());
  }

  static std::string GrepName(const std::string& ours) {  // ScanText2MiB/orlexmon/N
    return "Grep2MiB/" + ours.substr(ours.rfind('/') + 1) + "/manual_time";
  }

  std::map<std::string, double> rates_;  // bytes per second by benchmark name
};

void Register() {
  for (const Impl impl : {Impl::kOurs, Impl::kReference}) {
    for (const int size : kMessageSizes) {
      benchmark::RegisterBenchmark(
          ("NormalizeText/" + std::string(ImplName(impl)) + "/" + std::to_string(size)).c_str(),
          [impl, size](benchmark::State& state) { NormalizeBench(state, impl, size); });
    }
  }
  for (const int size : kMessageSizes) {
    for (const int keywords : kKeywordCounts) {
      for (const Impl impl : {Impl::kOurs, Impl::kReference}) {
        const std::string suffix = std::string(ImplName(impl)) + "/" + std::to_string(size) + "/" +
                                   std::to_string(keywords);
        benchmark::RegisterBenchmark(("ScanText/" + suffix).c_str(),
                                     [impl, size, keywords](benchmark::State& state) {
                                       ScanBench(state, impl, fixture->normalized[size], keywords);
                                     });
        benchmark::RegisterBenchmark(("ScoreMessage/" + suffix).c_str(),
                                     [impl, size, keywords](benchmark::State& state) {
                                       ScoreBench(state, impl, size, keywords);
                                     });
      }
    }
  }
  static std::vector<std::string> grep_text;
  grep_text = {fixture->grep_text};
  for (const int keywords : kKeywordCounts) {
#ifndef _WIN32
    benchmark::RegisterBenchmark(
        ("Grep2MiB/" + std::to_string(keywords)).c_str(),
        [keywords](benchmark::State& state) { GrepBench(state, keywords); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
#endif
    for (const Impl impl : {Impl::kOurs, Impl::kReference}) {
      if (impl == Impl::kReference && keywords > 1000) continue;  // would take minutes
      benchmark::RegisterBenchmark(
          ("ScanText2MiB/" + std::string(ImplName(impl)) + "/" + std::to_string(keywords)).c_str(),
          [impl, keywords](benchmark::State& state) {
            ScanBench(state, impl, grep_text, keywords);
          })
          ->Unit(benchmark::kMillisecond);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  BuildFixture();
  std::printf(
      "corpus: %zu bytes of code-page-932 text; messages: %zu of 2 KiB, %zu of 32 KiB; "
      "grep text: %zu bytes normalized\n",
      fixture->raw.size(), fixture->messages[2048].size(), fixture->messages[32768].size(),
      fixture->grep_text.size());
  Register();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  for (const std::string& path : fixture->temporary_files) std::remove(path.c_str());
  benchmark::Shutdown();
  return 0;
}
