// The program orlexmon as a process over the bundled host: a copy of it and of the host library in
// a directory of their own, with a keyword list and a store made with plain SQL. Checks the scores
// stored, the exit statuses, and that arguments change nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "run/test_store.h"

namespace {

namespace fs = std::filesystem;
using test_store::ScoreRow;
using test_store::Sjis;
using test_store::Store;

const std::string kSent = Sjis("送信済みトレイ");
const std::string kBoard = Sjis("掲示板");

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("orlexmon_e2e_" + std::to_string(getpid()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    fs::copy_file(ORLEXMON_PROGRAM, m_dir / "orlexmon");
    fs::copy_file(ORVAN_LIBRARY, m_dir / "liborvanLib.so");
    m_storePath = (m_dir / "orvan.sqlite").string();
    std::ofstream(m_dir / "orvan.key", std::ios::binary) << Sjis("契約\t10\nあい\t2\nabc\t5\n");
    store = std::make_unique<Store>(m_storePath, true);
  }
  void TearDown() override {
    store.reset();
    fs::remove_all(m_dir);
  }

  // Runs the copy with `args` and the environment settings `env`, without a display unless
  // `env` names one; returns its exit status and keeps its error output.
  int Run(const std::string& args = "", const std::string& env = "") {
    const std::string errors = (m_dir / "stderr.txt").string();
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " + env + " ORVAN_STORE='" +
                                m_storePath +
                                "' '" + (m_dir / "orlexmon").string() + "' " + args + " 2>'" +
                                errors + "'";
    const int status = std::system(command.c_str());
    std::ifstream in(errors);
    std::stringstream text;
    text << in.rdbuf();
    stderrText = text.str();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  int64_t Folder(const std::string& user, const std::string& kind, const std::string* name) {
    const int64_t id = store->AddUser(user, kind);
    std::string_view view;
    if (name != nullptr) view = *name;
    return store->AddFolder(id, name != nullptr ? &view : nullptr);
  }
  std::map<int64_t, ScoreRow> Scores() {
    std::map<int64_t, ScoreRow> rows;
    for (const ScoreRow& row : store->Scores()) rows.emplace(row.position, row);
    return rows;
  }

  fs::path m_dir;           // the program's directory
  std::string m_storePath;  // the store
  std::unique_ptr<Store> store;
  std::string stderrText;  // the last run's error output
};

TEST_F(ProgramTest, WholeRunStoresTheScoresAndEndsWithStatusZero) {
  const int64_t sent = Folder(Sjis("山田"), "", &kSent);
  const int64_t board = Folder(Sjis("社内掲示板"), kBoard, nullptr);
  const int64_t m1 = store->AddMessage(sent, Sjis("契約の件"), "a@example.jp",
                                       Sjis("あいさつ 契約 abc"));  // 4 hits, 27 points
  const int64_t m2 = store->AddMessage(sent, "old", "b", Sjis("契約"), 0, 7, 1);  // scored before
  const int64_t m3 = store->AddMessage(sent, "", "", "nothing");                  // 0, 0
  const int64_t m4 = store->AddMessage(board, Sjis("お知らせ"), "all", Sjis("アイ"));  // 1, 2

  // Arguments are not looked at, not even the toolkit's own.
  EXPECT_EQ(Run("--help -platform xcb -style nonesuch"), 0) << stderrText;
  std::map<int64_t, ScoreRow> rows = Scores();
  EXPECT_EQ(rows[m1], (ScoreRow{m1, sent, 0, 27, 4}));
  EXPECT_EQ(rows[m2], (ScoreRow{m2, sent, 0, 7, 1}));
  EXPECT_EQ(rows[m3], (ScoreRow{m3, sent, 0, 0, 0}));
  EXPECT_EQ(rows[m4], (ScoreRow{m4, board, 0, 2, 1}));

  // A second run finds everything scored and changes nothing.
  const std::string before = store->Dump();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(store->Dump(), before);
}

TEST_F(ProgramTest, DisplayThatCannotBeReachedRunsOffScreen) {
  // A scheduled job with a stale display in its environment still does its whole job.
  const int64_t sent = Folder(Sjis("山田"), "", &kSent);
  const int64_t m1 = store->AddMessage(sent, "", "", Sjis("契約"));
  EXPECT_EQ(Run("", "-u QT_QPA_PLATFORM DISPLAY=:4242 WAYLAND_DISPLAY=orlexmon-nonesuch"), 0)
      << stderrText;
  EXPECT_EQ(Scores()[m1], (ScoreRow{m1, sent, 0, 10, 1}));
  EXPECT_NE(stderrText.find("off-screen"), std::string::npos) << stderrText;
}

TEST_F(ProgramTest, RunThatCannotFinishEndsWithStatusOne) {
  const std::string inbox = Sjis("受信トレイ");
  const int64_t first = Folder("first", "", &kSent);
  Folder("second", "", &inbox);  // no sent folder: it cannot be opened
  const int64_t m1 = store->AddMessage(first, "", "", "abc");
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(Scores()[m1], (ScoreRow{m1, first, 0, 5, 1}));  // the first user is stored
  EXPECT_EQ(stderrText,
            "orlexmon: the folder of user second could not be opened; the users after it were "
            "not checked\n");

  fs::remove(m_dir / "orvan.key");
  store->Exec("UPDATE messages SET score_state = -1, points = 0, hits = NULL");
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(Scores()[m1], (ScoreRow{m1, first, -1, 0, std::nullopt}));  // nothing touched
  EXPECT_EQ(stderrText, "orlexmon: cannot read the keyword list " + m_dir.string() +
                            "//orvan.key: No such file or directory\n");
}

// A store that cannot be used is a host failure, not a finished run.
TEST_F(ProgramTest, StoreThatCannotBeUsedGivesStatusFourAndSaysWhy) {
  store.reset();
  fs::remove(m_storePath);
  std::ofstream{m_storePath};  // 0 bytes: no store, and it must stay so
  EXPECT_EQ(Run(), 4);
  EXPECT_EQ(stderrText, "orlexmon: the host's user list did not open: the store " + m_storePath +
                            " cannot be used: not an orvan store (no users, folders and messages "
                            "tables)\n");
  EXPECT_EQ(fs::file_size(m_storePath), 0u);
}

TEST_F(ProgramTest, MissingHostLibraryGivesTheBindersStatusAndOneLine) {
  fs::remove(m_dir / "liborvanLib.so");
  EXPECT_EQ(Run(), 3);
  EXPECT_EQ(std::count(stderrText.begin(), stderrText.end(), '\n'), 1) << stderrText;
  EXPECT_NE(stderrText.find("liborvanLib.so"), std::string::npos) << stderrText;
}

}  // namespace
