// The host's own cost per message in a check run: HostNextMessage, HostStoreScore and
// HostFinishMessage over a store of 100,000 messages of about 2 KB, as the run's benchmark
// uses. No scoring happens here, so the time is the host's share alone.
//
//   orvanhost_bench [--messages=N] [benchmark flags]
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "orvanhost/store.h"
#include "orvanhost/store_host.h"

namespace {

int g_messages = 100000;
std::string g_store;

void Execute(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "%s: %s\n", sql.c_str(), error);
    std::exit(1);
  }
}

// A store with one user whose folder holds g_messages messages of about 2 KB of mixed
// code-page-932 text.
void BuildStore(const std::string& path) {
  sqlite3* db = nullptr;
  std::string error;
  if (!OpenStore(path, StoreAccess::kCreate, &db, &error) || !CreateStoreSchema(db, &error)) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
    std::exit(1);
  }
  Execute(db, "INSERT INTO users (position, name) VALUES (1, 'bench')");
  Execute(db, "INSERT INTO folders (id, user, name) VALUES (1, 1, NULL)");
  std::string body;
  const char* pieces[] = {"\x82\xA0\x82\xA2\x82\xA4",
                          "\x83\x5A\x81\x5B\x83\x8B ",
                          "\xBE\xB0\xD9 ",
                          "Sale price 50% off. ",
                          "\x82\x72\x82\x60\x82\x6B\x82\x64 ",
                          ("\x8C\xA9\x90\xCF\x82\xE8\x82\xF0\x82\xA8\x91\x97\x82\xE8\x82\xB5"
                           "\x82\xDC\x82\xB7\x81\x42\r\n")};
  for (size_t i = 0; body.size() < 2000; ++i) body += pieces[i % std::size(pieces)];
  Execute(db, "BEGIN");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO messages (folder, title, destination, body) VALUES "
                     "(1, ?1, 'someone <someone@example.jp>', ?2)",
                     -1, &insert, nullptr);
  for (int i = 0; i < g_messages; ++i) {
    const std::string title = "\x8C\x8F\x96\xBC " + std::to_string(i);
    sqlite3_bind_blob(insert, 1, title.data(), static_cast<int>(title.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(insert, 2, body.data(), static_cast<int>(body.size()), SQLITE_STATIC);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Execute(db, "COMMIT");
  sqlite3_close(db);
}

void ResetScores() {
  sqlite3* db = nullptr;
  std::string error;
  if (!OpenStore(g_store, StoreAccess::kWrite, &db, &error)) std::exit(1);
  Execute(db, "UPDATE messages SET score_state = -1, hits = NULL, points = 0");
  Execute(db, "PRAGMA wal_checkpoint(TRUNCATE)");
  sqlite3_close(db);
  // The reset's own writes must reach the disk before the timed pass, or their writeback
  // would be charged to it.
  sync();
}

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Per-message figures: wall time, and processor time of the calling thread alone (the check
// run's thread; the checkpointer's thread runs beside it).
void SetCounters(benchmark::State& state, int64_t messages, double thread_cpu) {
  state.SetItemsProcessed(messages);
  state.counters["wall_per_message"] = benchmark::Counter(
      static_cast<double>(messages), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["thread_cpu_us_per_message"] =
      messages > 0 ? thread_cpu * 1e6 / static_cast<double>(messages) : 0;
}

// One pass over the folder; `store` decides whether unscored messages get a score.
int64_t Pass(bool store) {
  StoreHost host(g_store);
  auto record = std::make_unique<MessageRecord>();
  host.HostAttach(0, "orLexmon");
  host.HostOpenUserList(0, 0, "*");
  int64_t messages = 0;
  if (host.HostOpenFolder("bench", nullptr, 0, "") != 0) {
    while (host.HostNextMessage(record.get(), 0) != 0) {
      benchmark::DoNotOptimize(record->bytes[MessageRecord::kBodyOffset]);
      if (store && record->ScoreState() < 0) host.HostStoreScore(3, 7);
      host.HostFinishMessage();
      ++messages;
    }
    host.HostCloseFolder();
  }
  host.HostCloseUserList();
  host.HostDetach();
  return messages;
}

// Every message unscored: the first run over a store.
void BM_ScoringPass(benchmark::State& state) {
  int64_t messages = 0;
  double thread_cpu = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ResetScores();
    state.ResumeTiming();
    const double start = ThreadCpuSeconds();
    messages += Pass(true);
    thread_cpu += ThreadCpuSeconds() - start;
  }
  SetCounters(state, messages, thread_cpu);
}
BENCHMARK(BM_ScoringPass)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Every message already scored: a run that only reads.
void BM_ReadingPass(benchmark::State& state) {
  Pass(true);
  int64_t messages = 0;
  double thread_cpu = 0;
  for (auto _ : state) {
    const double start = ThreadCpuSeconds();
    messages += Pass(false);
    thread_cpu += ThreadCpuSeconds() - start;
  }
  SetCounters(state, messages, thread_cpu);
}
BENCHMARK(BM_ReadingPass)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--messages=", 11) == 0) g_messages = std::atoi(argv[i] + 11);
  }
  char directory[] = "/tmp/orvanhost-bench-XXXXXX";
  if (mkdtemp(directory) == nullptr) return 1;
  g_store = std::string(directory) + "/store.sqlite";
  BuildStore(g_store);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(directory);
  return 0;
}
