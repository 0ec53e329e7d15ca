// orlexmon-run as a process, copied with the bundled host library into directories of its own,
// over stores made with plain SQL: its exit statuses and the line that says why, the keyword
// list read once (a FIFO), found beside the program in folders with Japanese and Chinese names,
// and its per-user lines.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "run/test_store.h"

namespace {

namespace fs = std::filesystem;
using test_store::Sjis;
using test_store::Store;

const std::string kSent = Sjis("送信済みトレイ");

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class OrlexmonRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("orlexmon_run_" + std::to_string(getpid()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_program = Install(m_dir / "bin");
    m_store = (m_dir / "orvan.sqlite").string();
    m_keys = (m_dir / "orvan.key").string();
    std::ofstream(m_keys, std::ios::binary) << "abc\t5\n";
    store = std::make_unique<Store>(m_store, true);
  }
  void TearDown() override {
    store.reset();
    fs::remove_all(m_dir);
  }

  // A copy of the program and the host library in `directory`; returns the program's path.
  static fs::path Install(const fs::path& directory, bool with_library = true) {
    fs::create_directories(directory);
    fs::copy_file(ORLEXMON_RUN, directory / "orlexmon-run");
    if (with_library) fs::copy_file(ORVAN_LIBRARY, directory / "liborvanLib.so");
    return directory / "orlexmon-run";
  }

  // Runs `program` with `args` (shell words); returns its exit status and keeps its output.
  int Run(const std::string& args, const fs::path& program = {}) {
    const fs::path out = m_dir / "stdout.txt";
    const fs::path err = m_dir / "stderr.txt";
    const std::string command = "'" + (program.empty() ? m_program : program).string() + "' " +
                                args + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    output = Slurp(out);
    errors = Slurp(err);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string StoreArgs() const { return "--store '" + m_store + "'"; }

  // A user with a sent folder holding one message with `body`.
  int64_t UserWithMessage(const std::string& name, const std::string& body) {
    const int64_t user = store->AddUser(name);
    std::string_view folder = kSent;
    const int64_t id = store->AddFolder(user, &folder);
    return store->AddMessage(id, "", "", body);
  }
  int64_t Points(int64_t message) {
    for (const test_store::ScoreRow& row : store->Scores()) {
      if (row.position == message) return row.state < 0 ? -1 : row.points;
    }
    return -2;
  }

  fs::path m_dir;       // everything of the test
  fs::path m_program;   // the copy of orlexmon-run, beside the host library
  std::string m_store;  // the store
  std::string m_keys;   // a keyword list: abc, weight 5
  std::unique_ptr<Store> store;
  std::string output;  // standard output of the last run
  std::string errors;  // standard error of the last run
};

TEST_F(OrlexmonRunTest, ExitStatusesComeWithALineSayingWhy) {
  UserWithMessage("first", "abc");
  const int64_t second = store->AddUser("second");  // no sent folder
  std::string_view inbox = "inbox";
  store->AddFolder(second, &inbox);
  const std::string empty = (m_dir / "empty.key").string();
  std::ofstream(empty) << "\n\t\n";
  const std::string missing_store = (m_dir / "none.sqlite").string();
  const fs::path unbound = Install(m_dir / "alone", /*with_library=*/false);
  const std::string keys = "--keywords '" + m_keys + "' ";
  const struct {
    std::string args;  // the command line
    fs::path program;  // empty: the installed copy
    int status;        // the exit status
    std::string line;  // standard error, after "orlexmon-run: "
  } cases[] = {
      {keys + StoreArgs(),
       {},
       1,
       "the folder of user second could not be opened; the users after it were not checked"},
      {"--keywords '" + empty + "' " + StoreArgs(),
       {},
       1,
       "no keyword in the keyword list " + empty},
      {"--keywords '" + m_dir.string() + "' " + StoreArgs(),
       {},
       2,
       "cannot read the keyword list " + m_dir.string() + ": Is a directory"},
      {"--keywords '" + m_dir.string() + "/absent.key' " + StoreArgs(),
       {},
       2,
       "cannot read the keyword list " + m_dir.string() + "/absent.key: No such file or directory"},
      {"--frobnicate", {}, 2, "unknown or incomplete argument '--frobnicate' (see --help)"},
      {keys + StoreArgs(), unbound, 3, "cannot find the host library liborvanLib.so in "},
      {keys + "--store '" + missing_store + "'",
       {},
       4,
       "the host's user list did not open: the store " + missing_store +
           " cannot be used: it does not exist"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.args, c.program), c.status) << c.args;
    const std::string expected = "orlexmon-run: " + c.line;
    EXPECT_EQ(errors.substr(0, expected.size()), expected) << c.args;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
  }
  const std::string drop = "DELETE FROM folders WHERE user = " + std::to_string(second) +
                           "; DELETE FROM users WHERE position = " + std::to_string(second);
  store->Exec(drop.c_str());
  EXPECT_EQ(Run(keys + StoreArgs()), 0) << errors;
  EXPECT_EQ(errors, "");
}

// The keyword list is opened once: a FIFO, which a second open would wait on for ever, works.
TEST_F(OrlexmonRunTest, KeywordListInAFifo) {
  const int64_t message = UserWithMessage("u", "abc abc");
  const fs::path fifo = m_dir / "list.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&fifo] { std::ofstream(fifo, std::ios::binary) << "abc\t7\n"; });
  EXPECT_EQ(Run("--keywords '" + fifo.string() + "' " + StoreArgs()), 0) << errors;
  writer.join();
  EXPECT_EQ(Points(message), 14);
}

// Without --keywords the list beside the program is read, also when the program's folder has a
// name whose UTF-8 bytes the code-page-932 walk would take for two-byte characters.
TEST_F(OrlexmonRunTest, KeywordListBesideAProgramInAFolderWithAJapaneseOrChineseName) {
  const int64_t message = UserWithMessage("u", "abc");
  std::ofstream(m_dir / "orvan.key", std::ios::binary) << "abc\t1\n";  // the folder above
  for (const char* name : {"テスト", "测试", "日本"}) {
    const fs::path program = Install(m_dir / name);
    std::ofstream(m_dir / name / "orvan.key", std::ios::binary) << "abc\t9\n";
    store->Exec("UPDATE messages SET score_state = -1, points = 0, hits = NULL");
    EXPECT_EQ(Run(StoreArgs(), program), 0) << name << ": " << errors;
    EXPECT_EQ(Points(message), 9) << name;
  }
}

// A line per user, chosen by the run's steps: two users of the same name print two lines, and a
// name that ends like a finished user line prints only at its user's end.
TEST_F(OrlexmonRunTest, UserLinesComeFromTheSteps) {
  const std::string done = Sjis(" : チェック完了");
  UserWithMessage("x" + done, "abc");
  const int64_t text_user = store->AddUser("dup");
  store->Exec(
      ("UPDATE users SET name = CAST(name AS TEXT) WHERE position = " + std::to_string(text_user))
          .c_str());
  std::string_view folder = kSent;
  store->AddMessage(store->AddFolder(text_user, &folder), "", "", "abc abc");
  UserWithMessage("dup", "");
  EXPECT_EQ(Run("--keywords '" + m_keys + "' " + StoreArgs()), 0) << errors;
  EXPECT_EQ(output,
            "x : チェック完了 : チェック完了\tmessages 1\tnew hits 1\tpoints 5\n"
            "dup : チェック完了\tmessages 1\tnew hits 2\tpoints 10\n"
            "dup : チェック完了\tmessages 1\tnew hits 0\tpoints 0\n"
            "全ユーザー完了\n");
}

TEST_F(OrlexmonRunTest, WarnsAboutKeywordLinesPastTheLimit) {
  UserWithMessage("u", "abc");
  std::string lines;
  for (int i = 0; i < 10002; ++i) lines += "k" + std::to_string(100000 + i) + "\n";
  std::ofstream(m_keys, std::ios::binary) << lines;
  EXPECT_EQ(Run("--quiet --keywords '" + m_keys + "' " + StoreArgs()), 0);
  EXPECT_EQ(output, "");
  EXPECT_EQ(errors,
            "orlexmon-run: " + m_keys + ": warning: 3 keyword lines past the 9999th ignored\n");
}

}  // namespace
