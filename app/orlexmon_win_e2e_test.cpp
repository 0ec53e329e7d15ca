// The program orlexmon.exe as a process under Wine, over a stand-in orvanLib.dll that exports the
// ten operations by number only, the optional failure operation by name, and records every call
// (recording_host_dll.cpp): the exact host calls of a complete run, of a run whose folder cannot
// be opened and of an empty keyword list, and the exit status of each, the same as on Linux; and
// the status and line of a run whose host reports a failure. The failure operation is asked once,
// after HostDetach.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testing/test_util.h"

namespace {

namespace fs = std::filesystem;
using test_util::Sjis;

// orlexmon.exe and the recording DLL, found from this test program's directory.
const fs::path kTestDirectory = test_util::ExecutablePath().parent_path();
const fs::path kProgram = kTestDirectory / ORLEXMON_PROGRAM_FROM_TEST;
const fs::path kRecordingHost = kTestDirectory / RECORDING_HOST_FROM_TEST;

class ProgramOverRecordingHost : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(kProgram, m_dir.path() / "orlexmon.exe");
    fs::copy_file(kRecordingHost, m_dir.path() / "orvanLib.dll");
    // あい is folded to half-width katakana and abc to ABC, so アイ and ＡＢＣ match as well.
    WriteFile("orvan.key", Sjis("契約\t10\nあい\t2\nabc\t5\n"));
  }

  void WriteFile(const char* name, const std::string& bytes) {
    std::ofstream(m_dir.path() / name, std::ios::binary) << bytes;
  }

  // Runs the program over the users of `script` (lines of recording_host_dll.cpp's script, UTF-8
  // here); returns its exit status and keeps the calls it made, in order.
  int Run(const std::vector<std::string>& script) {
    std::string bytes;
    for (const std::string& line : script) bytes += Sjis(line) + "\n";
    WriteFile("script.txt", bytes);
    const fs::path record = m_dir.path() / "record.txt";
    fs::remove(record);
    const int status =
        test_util::RunProgram(m_dir.path() / "orlexmon.exe", L"", m_dir.path(),
                              {L"ORLEXMON_SCRIPT=" + (m_dir.path() / "script.txt").wstring(),
                               L"ORLEXMON_RECORD=" + record.wstring()},
                              &output);
    calls.clear();
    std::ifstream in(record, std::ios::binary);
    for (std::string line; std::getline(in, line);) calls.push_back(line);
    return status;
  }

  // The calls as the record writes them, from UTF-8.
  static std::vector<std::string> Calls(const std::vector<std::string>& utf8) {
    std::vector<std::string> out;
    for (const std::string& call : utf8) out.push_back(Sjis(call));
    return out;
  }

  test_util::TempDir m_dir{"win_e2e"};  // the program's directory
  std::vector<std::string> calls;       // the last run's host calls
  std::string output;                   // its standard output and error
};

TEST_F(ProgramOverRecordingHost, CompleteRunCallsTheHostInOrderAndEndsWithStatusZero) {
  const int status = Run({
      "user\t山田\t\t1",
      "message\t件名\ta@example.jp\t契約します\t-1\t0",  // 1 hit, 10 points
      "message\told\tb@example.jp\t契約\t0\t7",          // scored before: nothing stored
      "message\t\t\tnothing\t-1\t0",                     // new, no hit: 0, 0 stored
      "user\t社内掲示板\t掲示板\t1",                     // a board: no folder name
      "message\tお知らせ\tall\tアイ ＡＢＣ\t-1\t0",      // 2 hits, 7 points
      "user\t空\t掲示板です\t1",                         // not exactly 掲示板: the sent folder
  });
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(calls, Calls({
                       "Attach(0,orLexmon)",
                       "OpenUserList(0,0,*)",
                       "NextUser(1)",
                       "OpenFolder(山田,<sent>,0,)",
                       "NextMessage(0)",
                       "StoreScore(1,10)",
                       "FinishMessage",
                       "NextMessage(0)",
                       "FinishMessage",
                       "NextMessage(0)",
                       "StoreScore(0,0)",
                       "FinishMessage",
                       "NextMessage(0)",
                       "CloseFolder",
                       "NextUser(1)",
                       "OpenFolder(社内掲示板,null,0,<board>)",
                       "NextMessage(0)",
                       "StoreScore(2,7)",
                       "FinishMessage",
                       "NextMessage(0)",
                       "CloseFolder",
                       "NextUser(1)",
                       "OpenFolder(空,<sent>,0,掲示板です)",
                       "NextMessage(0)",
                       "CloseFolder",
                       "NextUser(1)",
                       "CloseUserList",
                       "Detach",
                       "LastFailure",
                   }));
  EXPECT_EQ(output, "");
}

TEST_F(ProgramOverRecordingHost, FolderThatCannotBeOpenedEndsTheWalkWithStatusOne) {
  const int status = Run({
      "user\ta\t\t1",
      "message\tt\td\tabc\t-1\t0",
      "user\tb\t\t0",  // its folder does not open
      "user\tc\t\t1",
      "message\tt\td\tabc\t-1\t0",
  });
  EXPECT_EQ(status, 1) << output;
  EXPECT_EQ(calls, Calls({
                       "Attach(0,orLexmon)",
                       "OpenUserList(0,0,*)",
                       "NextUser(1)",
                       "OpenFolder(a,<sent>,0,)",
                       "NextMessage(0)",
                       "StoreScore(1,5)",
                       "FinishMessage",
                       "NextMessage(0)",
                       "CloseFolder",
                       "NextUser(1)",
                       "OpenFolder(b,<sent>,0,)",
                       "CloseUserList",
                       "Detach",
                       "LastFailure",
                   }));
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
}

TEST_F(ProgramOverRecordingHost, EmptyKeywordListTouchesNoUserAndEndsWithStatusOne) {
  for (const char* keywords : {"", "\t\r\n\n"}) {
    WriteFile("orvan.key", keywords);
    EXPECT_EQ(Run({"user\ta\t\t1", "message\tt\td\tabc\t-1\t0"}), 1) << output;
    EXPECT_EQ(calls, Calls({"Attach(0,orLexmon)", "OpenUserList(0,0,*)", "CloseUserList", "Detach",
                            "LastFailure"}));
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
  }
}

TEST_F(ProgramOverRecordingHost, FailureTheHostReportsGivesStatusFourAndItsLine) {
  const int status =
      Run({"user\ta\t\t1", "message\tt\td\tabc\t-1\t0", "failure\tscore not written"});
  EXPECT_EQ(status, 4);
  EXPECT_EQ(output, "orlexmon: host failure: score not written\n");
  EXPECT_EQ(calls.back(), "LastFailure");
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "StoreScore(1,5)"), 1);  // the run went on
}

}  // namespace
