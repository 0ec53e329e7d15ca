// Tests of the keyword-list tester's interface: what it prints, on which stream, and with which
// exit status. Scripts rely on these lines, so the expectations are exact.
#include "tools/score_tool.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Result {
  int status;       // exit status
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
};

std::string Slurp(std::FILE* stream) {
  std::string bytes;
  std::rewind(stream);
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) bytes.append(chunk, got);
  return bytes;
}

// Runs the tool in this process with `input` as standard input.
Result RunTool(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), "orlexmon-score");
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  const int status = RunScoreTool(static_cast<int>(argv.size()), argv.data(), in, out, err);
  Result result{status, Slurp(out), Slurp(err)};
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);
  return result;
}

int CountLines(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

class ScoreToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::path(::testing::TempDir()) / "score_tool_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  // A list with a kana keyword (written in hiragana), a full-width one and an ASCII one.
  std::string Keys() {
    return Write("orvan.key",
                 "\x82\xA0\x82\xA2\t10\n"  // あい, stored as ｱｲ
                 "\x82\x60\x82\x61\t3\n"   // ＡＢ, stored as AB
                 "xyz\n");                 // weight 1
  }

  fs::path dir_;
};

TEST_F(ScoreToolTest, ScoresEachFileInOrderOnItsOwnLine) {
  const std::string keys = Keys();
  const std::string half = Write("half.txt", "\xB1\xB2 ab \xB1\xB2");  // ｱｲ ab ｱｲ
  const std::string none = Write("none.txt", "nothing here");
  // The text ends at the first NUL: the keyword behind it is not seen.
  const std::string nul = Write("nul.txt", std::string("XYZ\0xyz", 7));
  const Result r = RunTool({keys, half, none, nul, "-"}, "\x83\x41\x83\x43");  // アイ on stdin
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "3\t23\t" + half + "\n0\t0\t" + none + "\n1\t1\t" + nul + "\n1\t10\t-\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(ScoreToolTest, ReadsStandardInputWithoutFiles) {
  const Result r = RunTool({Keys()}, "xyz xyz");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "2\t2\t-\n");
}

TEST_F(ScoreToolTest, ScoresABodyOfAnyLength) {
  // Far beyond the host's 32 KB field; the keyword at the very end must still count.
  std::string body(3 * 1000 * 1000, '.');
  body += "xyz";
  const Result r = RunTool({Keys(), Write("long.txt", body)});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, 4), "1\t1\t");
}

TEST_F(ScoreToolTest, UnreadableFileIsReportedAndTheOthersStillScored) {
  const std::string keys = Keys();
  const std::string good = Write("good.txt", "xyz");
  const std::string missing = (dir_ / "missing.txt").string();
  const std::string directory = dir_.string();
  const Result r = RunTool({keys, missing, good, directory});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "1\t1\t" + good + "\n");
  EXPECT_EQ(r.err, "orlexmon-score: " + missing + ": No such file or directory\n" +
                       "orlexmon-score: " + directory + ": Is a directory\n");
}

TEST_F(ScoreToolTest, KeywordFileProblems) {
  struct Case {
    const char* what;
    std::string keyfile;
    int status;
    std::string err;
  };
  const std::string missing = (dir_ / "absent.key").string();
  const std::string empty = Write("empty.key", "");
  const std::string blank = Write("blank.key", "\n\t\r\n\t\t\n");
  const std::string directory = dir_.string();
  const Case cases[] = {
      {"missing", missing, 2, "orlexmon-score: " + missing + ": No such file or directory\n"},
      {"a directory", directory, 2, "orlexmon-score: " + directory + ": Is a directory\n"},
      {"empty", empty, 1, "orlexmon-score: " + empty + ": no keyword in the list\n"},
      {"only separators", blank, 1, "orlexmon-score: " + blank + ": no keyword in the list\n"},
  };
  const std::string text = Write("t.txt", "xyz");
  for (const Case& c : cases) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{c.keyfile, text}, {"--keywords", c.keyfile}}) {
      const Result r = RunTool(args);
      EXPECT_EQ(r.status, c.status) << c.what << " " << args[0];
      EXPECT_EQ(r.out, "") << c.what << " " << args[0];
      EXPECT_EQ(r.err, c.err) << c.what << " " << args[0];
    }
  }
}

// The list is opened once: a pipe, as `orlexmon-score <(cat LIST) FILE` passes it, is read as it
// comes and not taken for an empty list by a second open.
TEST_F(ScoreToolTest, KeywordListFromAPipe) {
  const std::string text = Write("t.txt", "xyz xyz");
  for (const char* mode : {"score", "--keywords"}) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const std::string list = "xyz\t4\n";
    ASSERT_EQ(write(ends[1], list.data(), list.size()), static_cast<ssize_t>(list.size()));
    close(ends[1]);
    const std::string keyfile = "/dev/fd/" + std::to_string(ends[0]);
    const Result r =
        std::string(mode) == "score" ? RunTool({keyfile, text}) : RunTool({"--keywords", keyfile});
    close(ends[0]);
    EXPECT_EQ(r.status, 0) << mode << ": " << r.err;
    EXPECT_EQ(r.out, std::string(mode) == "score" ? "2\t8\t" + text + "\n" : "4\tXYZ\n") << mode;
  }
}

TEST_F(ScoreToolTest, WarnsAboutKeywordLinesPastTheLimit) {
  std::string list;
  char line[16];
  for (int i = 0; i < 10002; ++i) {  // k00000 to k10001: none is a prefix of another
    std::snprintf(line, sizeof line, "k%05d\n", i);
    list += line;
  }
  const std::string keys = Write("big.key", list);
  const Result scored = RunTool({keys}, "K09998 K09999 K00000");
  EXPECT_EQ(scored.status, 0);
  EXPECT_EQ(scored.out, "2\t2\t-\n");  // K09999, the 10000th line, was not loaded
  EXPECT_EQ(scored.err,
            "orlexmon-score: " + keys + ": warning: 3 keyword lines past the 9999th ignored\n");
  const Result listed = RunTool({"--keywords", keys});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(CountLines(listed.out), 9999);
  EXPECT_EQ(listed.err, scored.err);
}

TEST_F(ScoreToolTest, ListsTheLoadedKeywordsInSlotOrder) {
  const std::string keys = Write("list.key",
                                 "\x82\xA0\x82\xA2\t10\n"
                                 "\x82\x60\x82\x61\t3\t9\n"
                                 "word 5\n"
                                 "\t\x8C\x5F\x96\xF1\t-4\n"  // 契約, a bad weight
                                 "\x82\x81\x82\x82\n");      // ａｂ stays lower case
  const Result r = RunTool({"--keywords", keys});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "10\t\xB1\xB2\n"
            "3\tAB\n"
            "1\tWORD 5\n"
            "1\t\x8C\x5F\x96\xF1\n"
            "1\tab\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(ScoreToolTest, NormalizeWritesExactlyTheNormalizedBytes) {
  // ａｂ＿ あ ガ abc, then a NUL and more: only the part before the NUL is written.
  const std::string source =
      std::string("\x82\x81\x82\x82\x81\x51 \x82\xA0 \x83\x4B abc\n\0tail", 19);
  const std::string expected = "ab_ \xB1 \xB6 ABC\n";
  const Result from_file = RunTool({"--normalize", Write("n.txt", source)});
  EXPECT_EQ(from_file.status, 0);
  EXPECT_EQ(from_file.out, expected);
  EXPECT_EQ(from_file.err, "");
  EXPECT_EQ(RunTool({"--normalize"}, source).out, expected);
  EXPECT_EQ(RunTool({"--normalize", "-"}, source).out, expected);

  const Result missing = RunTool({"--normalize", (dir_ / "nope").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(CountLines(missing.err), 1);
}

TEST(ScoreToolCallTest, WrongCallsSayWhyAndExitTwo) {
  const std::vector<std::vector<std::string>> calls = {
      {},
      {"--"},
      {"--keywords"},
      {"--keywords", "a.key", "b.key"},
      {"--normalize", "a.txt", "b.txt"},
      {"--frobnicate", "a.key"},
      {"-x"},
  };
  for (const auto& call : calls) {
    const Result r = RunTool(call);
    const std::string shown = call.empty() ? "(none)" : call[0];
    EXPECT_EQ(r.status, 2) << shown;
    EXPECT_EQ(r.out, "") << shown;
    EXPECT_EQ(CountLines(r.err), 1) << shown;
    EXPECT_EQ(r.err.rfind("orlexmon-score: ", 0), 0u) << shown;
  }
}

TEST(ScoreToolCallTest, HelpDescribesEveryForm) {
  const Result r = RunTool({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  for (const char* form :
       {"KEYFILE [FILE...]", "--normalize [FILE]", "--keywords KEYFILE", "Exit status"}) {
    EXPECT_NE(r.out.find(form), std::string::npos) << form;
  }
}

// The shipped samples give the results that the README shows.
TEST(ScoreToolSamplesTest, SamplesScoreAsDocumented) {
  const fs::path samples = ORLEXMON_SAMPLES_DIR;
  struct Case {
    const char* file;
    const char* line;
  };
  const Case cases[] = {
      {"halfwidth.txt", "2\t20\t"},
      {"fullwidth.txt", "3\t15\t"},
      {"kanji.txt", "4\t32\t"},
      {"clean.txt", "0\t0\t"},
  };
  for (const Case& c : cases) {
    const std::string file = (samples / c.file).string();
    const Result r = RunTool({(samples / "orvan.key").string(), file});
    EXPECT_EQ(r.status, 0) << c.file;
    EXPECT_EQ(r.out, c.line + file + "\n");
  }
}

// The installed program: arguments, standard streams and exit status reach main() unchanged.
TEST(ScoreToolProgramTest, BinaryReadsStandardInputAndReturnsTheStatus) {
  const std::string dir = ::testing::TempDir();
  const std::string keys = dir + "/program_test.key";
  const std::string input = dir + "/program_test.in";
  const std::string output = dir + "/program_test.out";
  std::ofstream(keys, std::ios::binary) << "abc\t7\n";
  std::ofstream(input, std::ios::binary) << "xABCx abc";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  auto status_of = [&](std::vector<std::string> args) {
    args.insert(args.begin(), ORLEXMON_SCORE_BINARY);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(status_of({keys}), 0);
  std::ifstream produced(output, std::ios::binary);
  std::string line((std::istreambuf_iterator<char>(produced)), std::istreambuf_iterator<char>());
  EXPECT_EQ(line, "2\t14\t-\n");
  EXPECT_EQ(status_of({keys + ".absent"}), 2);
  posix_spawn_file_actions_destroy(&actions);
  fs::remove(keys);
  fs::remove(input);
  fs::remove(output);
}

}  // namespace
