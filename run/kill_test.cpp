// Nothing is lost when the run is killed: orlexmon-run is killed with SIGKILL at random moments
// while it works through a store, and after every kill each message is either scored with its
// right hits and points or still as it was; a final run to the end leaves the store equal to that
// of a run that was never interrupted.
//
// Set KILL_TEST_SEED to repeat a sequence of kill moments; the seed used is printed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "run/test_store.h"
#include "scoring/keyword_table.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using test_store::ScoreRow;
using test_store::Sjis;
using test_store::Store;

constexpr int kRounds = 8;         // fresh stores
constexpr int kKillsPerRound = 3;  // kills in a row on one store before it is run to the end
static_assert(kRounds * kKillsPerRound >= 20);

// Runs the driver over `store` in the background.
pid_t StartDriver(const std::string& store, const std::string& keywords) {
  std::fflush(stdout);  // the child must not write the parent's pending output again
  pid_t pid = fork();
  if (pid == 0) {
    freopen("/dev/null", "w", stdout);
    execl(ORLEXMON_RUN, ORLEXMON_RUN, "--store", store.c_str(), "--keywords", keywords.c_str(),
          "--quiet", static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// Waits for the driver; returns its exit status, or -signal.
int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

class KillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("run_kill_" + std::to_string(getpid()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_keywords = (m_dir / "orvan.key").string();
    std::ofstream(m_keywords, std::ios::binary)
        << Sjis("契約\t10\nあい\t2\nabc\t5\n見積\t7\nトレイ\t3\nＸＹ\t4\n");
    m_initial = (m_dir / "initial.sqlite").string();
    MakeStore(m_initial);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  // Users with their sent folders (one a board), an inbox that the run must not touch, and
  // messages of which some are scored already.
  static void MakeStore(const std::string& path) {
    const std::vector<std::string> words = {
        Sjis("契約"), Sjis("あいさつ"), "abc", Sjis("見積書"), Sjis("ﾄﾚｲ"), Sjis("ＸＹＺ"),
        Sjis("会議"), Sjis("よろしく"), "hello", Sjis("お願いします"), " ", "\n"};
    std::mt19937 random(12345);
    Store store(path, true);
    store.Begin();
    const std::string sent = Sjis("送信済みトレイ");
    const std::string_view sentName = sent, inboxName = "inbox";
    for (int u = 0; u < 12; ++u) {
      bool board = u == 5;
      int64_t user = store.AddUser(Sjis("利用者") + std::to_string(u), board ? Sjis("掲示板") : "");
      int64_t folder = store.AddFolder(user, board ? nullptr : &sentName);
      int64_t inbox = store.AddFolder(user, &inboxName);
      for (int m = 0; m < 600; ++m) {
        std::string title, body;
        for (int w = 0; w < 4; ++w) title += words[random() % words.size()];
        for (int w = 0; w < 200; ++w) body += words[random() % words.size()];
        if (m % 17 == 3) {
          store.AddMessage(folder, title, "to", body, 0, 5, 1);  // scored before
        } else {
          store.AddMessage(m % 23 == 0 ? inbox : folder, title, "to", body);
        }
      }
    }
    store.Commit();
  }

  fs::path m_dir;          // everything of the test
  std::string m_keywords;  // the keyword list
  std::string m_initial;   // the store before any run
};

TEST_F(KillTest, KilledRunsLoseNothingAndTheLastRunFinishesTheJob) {
  // The reference: one run that is never interrupted.
  std::string reference = (m_dir / "reference.sqlite").string();
  fs::copy_file(m_initial, reference);
  Clock::time_point start = Clock::now();
  ASSERT_EQ(Wait(StartDriver(reference, m_keywords)), 0);
  const auto fullRun = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);

  std::vector<ScoreRow> initial = Store(m_initial, false).Scores();
  std::vector<ScoreRow> expected;
  std::string expectedDump;
  {
    Store store(reference, false);
    expected = store.Scores();
    expectedDump = store.Dump();
  }
  ASSERT_EQ(initial.size(), expected.size());

  // The reference's scores are the right ones: score each message here, independently.
  {
    auto table = std::make_unique<KeywordTable>();
    ASSERT_GT(table->LoadKeywordFileFrom(m_keywords.c_str()), 0);
    Store store(m_initial, false);
    sqlite3_stmt* select = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(store.db(),
                                 "SELECT m.position, m.title, m.body FROM messages m JOIN folders f "
                                 "ON m.folder = f.id WHERE m.score_state < 0 AND (f.name IS NULL "
                                 "OR f.name <> CAST('inbox' AS BLOB)) "
                                 "ORDER BY m.position",
                                 -1, &select, nullptr),
              SQLITE_OK);
    size_t scored = 0;
    while (sqlite3_step(select) == SQLITE_ROW) {
      int64_t position = sqlite3_column_int64(select, 0);
      std::string title(static_cast<const char*>(sqlite3_column_blob(select, 1)),
                        static_cast<size_t>(sqlite3_column_bytes(select, 1)));
      std::string body(static_cast<const char*>(sqlite3_column_blob(select, 2)),
                       static_cast<size_t>(sqlite3_column_bytes(select, 2)));
      Score score = table->ScoreMessage(body.data(), title.data());
      const ScoreRow& row = expected[static_cast<size_t>(position - 1)];
      ASSERT_EQ(row.position, position);
      EXPECT_EQ(row.state, 0);
      EXPECT_EQ(row.hits, score.hits) << position;
      EXPECT_EQ(row.points, score.points) << position;
      ++scored;
    }
    sqlite3_finalize(select);
    EXPECT_GT(scored, 1000u);
  }

  const char* seedText = std::getenv("KILL_TEST_SEED");
  const unsigned seed = seedText != nullptr ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                                            : std::random_device{}();
  std::printf("KILL_TEST_SEED=%u, uninterrupted run %lld ms\n", seed,
              static_cast<long long>(fullRun.count() / 1000));
  std::mt19937 random(seed);

  int kills = 0, interruptedMidway = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::string path = (m_dir / ("killed" + std::to_string(round) + ".sqlite")).string();
    fs::copy_file(m_initial, path);
    // A run over a partly scored store ends sooner. A run that ends before its kill is no
    // kill: the next moment is drawn from a shorter span, a few times at most.
    long long span = fullRun.count() * 3 / 4;
    for (int k = 0, attempts = 0; k < kKillsPerRound && attempts < 4 * kKillsPerRound;
         ++attempts) {
      long long moment = std::uniform_int_distribution<long long>(0, span)(random);
      pid_t pid = StartDriver(path, m_keywords);
      std::this_thread::sleep_for(std::chrono::microseconds(moment));
      kill(pid, SIGKILL);
      int status = Wait(pid);
      if (status == -SIGKILL) {
        ++kills;
        ++k;
      } else {
        ASSERT_EQ(status, 0);
        span = std::max(1000LL, moment * 3 / 4);
      }

      Store store(path, false);
      std::vector<ScoreRow> rows = store.Scores();
      ASSERT_EQ(rows.size(), expected.size());
      size_t done = 0, untouched = 0;
      for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i] == expected[i]) ++done;
        if (rows[i] == initial[i]) ++untouched;
        ASSERT_TRUE(rows[i] == expected[i] || rows[i] == initial[i])
            << "message " << rows[i].position << " after kill " << k << " of round " << round;
      }
      if (done > 0 && untouched > 0 && expected != initial) {
        // Rows that are both (scored before, or left alone) count on both sides.
        size_t same = 0;
        for (size_t i = 0; i < rows.size(); ++i) same += expected[i] == initial[i];
        if (done > same && untouched > same) ++interruptedMidway;
      }
      sqlite3_stmt* check = nullptr;
      sqlite3_prepare_v2(store.db(), "PRAGMA integrity_check", -1, &check, nullptr);
      ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
      EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
      sqlite3_finalize(check);
    }
    ASSERT_EQ(Wait(StartDriver(path, m_keywords)), 0);
    EXPECT_EQ(Store(path, false).Dump(), expectedDump) << "round " << round;
  }
  std::printf("%d kills, %d of them in the middle of the scoring\n", kills, interruptedMidway);
  EXPECT_GE(kills, 20);
  EXPECT_GT(interruptedMidway, 0) << "no kill landed while messages were being scored";
}

}  // namespace
