// The check run against a recording host: the order and arguments of every host call, refresh
// and posted command; what is not called; the run's edge cases; the manual commands; faulty
// (unterminated) fields; totals at the int32 limits.
#include "run/check_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "run/recording_host.h"
#include "testing/test_util.h"

namespace {

using testing_host::QueuedRun;
using testing_host::RecordingHost;
using testing_host::ScriptedMessage;
using testing_host::ScriptedUser;
using testing_host::Shown;
using Calls = std::vector<std::string>;
using Users = std::vector<ScriptedUser>;

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

const std::string kDone = kTextAllUsersDone;     // 全ユーザー完了
const std::string kOpenError = kTextOpenError;   // " : メールオープンエラー"
const std::string kCheckDone = kTextCheckDone;   // " : チェック完了"
const std::string kBoard = kTextBoardKind;       // 掲示板
const std::string kFullWidthAbc = "\x82\x60\x82\x61\x82\x62";  // ＡＢＣ

// A keyword list in a temporary file, removed with the object.
class KeywordFile {
 public:
  explicit KeywordFile(const std::string& contents) {
    static int serial = 0;
    m_path = std::filesystem::temp_directory_path() /
             ("run_test_" + std::to_string(test_util::ProcessId()) + "_" + std::to_string(serial++) + ".key");
    std::ofstream(m_path, std::ios::binary) << contents;
    m_text = m_path.string();
  }
  ~KeywordFile() { std::filesystem::remove(m_path); }
  const char* path() const { return m_text.c_str(); }

 private:
  std::filesystem::path m_path;  // the file
  std::string m_text;            // its path as the loader takes it
};

// Keywords: ABC worth 5, X worth 3.
const char kKeywords[] = "ABC\t5\nX\t3\n";

// A host with scripted users, a run over it with the keyword list loaded, and the call record.
struct Fixture {
  explicit Fixture(std::vector<ScriptedUser> users, const std::string& keywords = kKeywords)
      : host(calls, std::move(users)), run(host, calls), file(keywords) {
    EXPECT_GT(run.StartRunFrom(file.path()), 0);
    EXPECT_EQ(calls, Calls{"Post(32773)"});
    calls.clear();
  }
  Calls calls;
  RecordingHost host;
  QueuedRun run;
  KeywordFile file;
};

// The steps of one message: scored now (with its score) or scored before.
Calls NewMessage(int hits, int points) {
  return {"NextMessage(0)", "Refresh", "StoreScore(" + std::to_string(hits) + "," +
          std::to_string(points) + ")", "Refresh", "FinishMessage", "Post(32774)"};
}
Calls OldMessage() {
  return {"NextMessage(0)", "Refresh", "Refresh", "FinishMessage", "Post(32774)"};
}
Calls EndOfFolder() { return {"NextMessage(0)", "CloseFolder", "Refresh", "Post(32773)"}; }
Calls UserOpened(const std::string& name, const std::string& folder, const std::string& kind) {
  return {"NextUser(1)", "Refresh", "OpenFolder(" + name + "," + folder + ",0," + kind + ")",
          "Post(32774)"};
}
Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(CheckRun, ConstructionStateIsEmptyAndTheUserRecordZero) {
  Calls calls;
  RecordingHost host(calls, {});
  QueuedRun run(host, calls);
  EXPECT_EQ(run.m_nHitTotal, 0);
  EXPECT_EQ(run.m_nPointTotal, 0);
  EXPECT_EQ(run.m_nMessageCount, 0);
  EXPECT_TRUE(run.m_strUser.IsEmpty() && run.m_strDestination.IsEmpty() &&
              run.m_strTitle.IsEmpty() && run.m_strMessagePoints.IsEmpty());
  EXPECT_EQ(run.m_bFolderOpen, 0);
  for (char byte : run.m_userRecord.bytes) ASSERT_EQ(byte, 0);
  EXPECT_TRUE(calls.empty());
}

TEST(CheckRun, WholeRunOverAUserAndABoard) {
  Fixture f(Users{
      {"alice", "",
       {{"X", "bob@example", "ABC ABC", -1, 0},  // body 2 x ABC, title X: 3 hits, 13 points
        {"old", "carol", "ABC", 0, 7},           // scored before: only its 7 points count
        {"none", "dave", "nothing here", -1, 0}}},
      {"bbs", kBoard, {{"t", "all", "X", -1, 0}}},
  });
  EXPECT_EQ(f.run.Drain(), kIdOk);
  EXPECT_EQ(f.calls, Join({UserOpened("alice", "<sent>", ""), NewMessage(3, 13), OldMessage(),
                           NewMessage(0, 0), EndOfFolder(), UserOpened("bbs", "null", "<board>"),
                           NewMessage(1, 3), EndOfFolder(), {"NextUser(1)", "Refresh", "Post(1)"}}));
  EXPECT_EQ(f.host.lastUserRecord, &f.run.m_userRecord);

  // alice's line at the end of her folder, before the board follows.
  const Shown& alice = f.run.shown[7];
  EXPECT_EQ(alice.user, "alice" + kCheckDone);
  EXPECT_EQ(alice.hitTotal, 3);     // newly scored only
  EXPECT_EQ(alice.pointTotal, 20);  // 13 + 7 + 0
  EXPECT_EQ(alice.messageCount, 3);
  EXPECT_EQ(alice.destination, "dave");
  EXPECT_EQ(alice.messagePoints, "0");
  // The board's first refresh: counters reset, texts empty, message points kept.
  const Shown& board = f.run.shown[8];
  EXPECT_EQ(board.user, "bbs");
  EXPECT_EQ(board.hitTotal, 0);
  EXPECT_EQ(board.pointTotal, 0);
  EXPECT_EQ(board.messageCount, 0);
  EXPECT_EQ(board.destination, "");
  EXPECT_EQ(board.title, "");
  EXPECT_EQ(board.messagePoints, "0");
  // The end: the completion text; the counters keep the last user's values.
  EXPECT_EQ(f.run.m_strUser, kDone.c_str());
  EXPECT_EQ(f.run.m_nHitTotal, 1);
  EXPECT_EQ(f.run.m_nPointTotal, 3);
  EXPECT_EQ(f.run.m_nMessageCount, 1);
  EXPECT_EQ(f.run.m_strDestination, "all");
  EXPECT_EQ(f.run.m_strTitle, "t");
  EXPECT_EQ(f.run.m_strMessagePoints, "3");
}

TEST(CheckRun, NoUserEndsAtOnceWithoutOpeningAFolder) {
  Fixture f(Users{});
  EXPECT_EQ(f.run.Drain(), kIdOk);
  EXPECT_EQ(f.calls, (Calls{"NextUser(1)", "Refresh", "Post(1)"}));
  ASSERT_EQ(f.run.shown.size(), 1u);
  EXPECT_EQ(f.run.shown[0].user, kDone);
  EXPECT_EQ(f.run.shown[0].hitTotal, 0);
  EXPECT_EQ(f.run.shown[0].pointTotal, 0);
  EXPECT_EQ(f.run.shown[0].messageCount, 0);
}

TEST(CheckRun, EmptyFolderIsCheckedAtOnceAndTheNextUserFollows) {
  Fixture f(Users{{"empty", "", {}}, {"next", "", {}}});
  EXPECT_EQ(f.run.Drain(), kIdOk);
  EXPECT_EQ(f.calls, Join({UserOpened("empty", "<sent>", ""), EndOfFolder(),
                           UserOpened("next", "<sent>", ""), EndOfFolder(),
                           {"NextUser(1)", "Refresh", "Post(1)"}}));
  EXPECT_EQ(f.run.shown[1].user, "empty" + kCheckDone);
  EXPECT_EQ(f.run.shown[1].messageCount, 0);
}

TEST(CheckRun, OnlyTheExactBoardKindOpensTheBoardFolder) {
  struct Case {
    std::string kind;    // the kind field's text
    std::string folder;  // the folder argument as recorded
  };
  const Case cases[] = {
      {kBoard, "null"},
      {kBoard + "X", "<sent>"},
      {kBoard + " ", "<sent>"},
      {"\x8C\x66\x8E\xA6", "<sent>"},  // 掲示
      {"", "<sent>"},
      {"board", "<sent>"},
  };
  for (const Case& c : cases) {
    Fixture f(Users{{"u", c.kind, {}}});
    f.run.Drain();
    ASSERT_GE(f.calls.size(), 3u);
    EXPECT_EQ(f.calls[2], "OpenFolder(u," + c.folder + ",0," + testing_host::Show(c.kind.c_str()) +
                              ")")
        << c.kind;
  }
}

TEST(CheckRun, StoredPointsOfScoredMessagesAddUpAndStoreNothing) {
  Fixture f(Users{{"u", "",
              {{"a", "d", "ABC", 0, 4},      // state 0 counts as scored
               {"b", "d", "ABC", 12, -10},   // negative stored points lower the total
               {"c", "d", "X", -5, 100}}}});  // any negative state is new: stored points ignored
  f.run.Drain();
  EXPECT_EQ(f.calls, Join({UserOpened("u", "<sent>", ""), OldMessage(), OldMessage(),
                           NewMessage(1, 3), EndOfFolder(), {"NextUser(1)", "Refresh", "Post(1)"}}));
  EXPECT_EQ(f.run.shown[2].pointTotal, 4);
  EXPECT_EQ(f.run.shown[4].pointTotal, -6);
  EXPECT_EQ(f.run.shown[4].hitTotal, 0);
  EXPECT_EQ(f.run.shown[4].messagePoints, "");  // nothing newly scored yet
  EXPECT_EQ(f.run.shown[6].pointTotal, -3);
  EXPECT_EQ(f.run.shown[6].messagePoints, "3");
}

TEST(CheckRun, TitleIsShownAsDeliveredWhileTheScanSeesItNormalized) {
  Fixture f(Users{{"u", "", {{kFullWidthAbc, "d", "", -1, 0}}}});
  f.run.Drain();
  EXPECT_EQ(f.calls[6], "StoreScore(1,5)");
  EXPECT_EQ(f.run.shown[1].title, kFullWidthAbc);  // before scoring
  EXPECT_EQ(f.run.shown[2].title, kFullWidthAbc);  // after scoring too
}

TEST(CheckRun, FolderThatCannotBeOpenedEndsTheRunAfterEarlierScoresAreStored) {
  ScriptedUser third{"third", "", {{"t", "d", "X", -1, 0}}, false};
  Fixture f(Users{{"first", "", {{"t", "d", "X", -1, 0}}},
             {"second", "", {{"t", "d", "ABC", -1, 0}}},
             third,
             {"fourth", "", {}}});
  EXPECT_EQ(f.run.Drain(), kIdCancel);
  EXPECT_EQ(f.calls, Join({UserOpened("first", "<sent>", ""), NewMessage(1, 3), EndOfFolder(),
                           UserOpened("second", "<sent>", ""), NewMessage(1, 5), EndOfFolder(),
                           {"NextUser(1)", "Refresh", "OpenFolder(third,<sent>,0,)", "Refresh",
                            "Post(2)"}}));
  EXPECT_EQ(f.run.m_strUser, ("third" + kOpenError).c_str());
  EXPECT_EQ(f.run.m_bFolderOpen, 0);
}

TEST(CheckRun, ExitWithAFolderOpenClosesItOnceAndQueuedStepsNeverRun) {
  Fixture f(Users{{"u", "", {{"a", "d", "X", -1, 0}, {"b", "d", "X", -1, 0}}}});
  ASSERT_FALSE(f.run.Step());  // 32773: the folder opens
  ASSERT_FALSE(f.run.Step());  // 32774: the first message
  ASSERT_EQ(f.run.queue, std::deque<int>{kIdmCheckMessage});
  f.calls.clear();
  f.run.Destroy();  // the operator's exit
  EXPECT_EQ(f.calls, Calls{"CloseFolder"});
  EXPECT_EQ(f.run.m_bFolderOpen, 0);
  EXPECT_EQ(f.run.m_keywords.m_pKeywords[0], nullptr);  // the keyword table is released
  f.run.Destroy();  // a second destruction closes nothing
  EXPECT_EQ(f.calls, Calls{"CloseFolder"});
}

TEST(CheckRun, CheckMessageWithNoFolderOpenDoesNothing) {
  Fixture f(Users{{"u", "", {{"a", "d", "X", -1, 0}}}});
  f.run.OnCheckMessage();
  EXPECT_TRUE(f.calls.empty());
  EXPECT_TRUE(f.run.shown.empty());
  EXPECT_EQ(f.run.queue, std::deque<int>{kIdmNextUser});
}

TEST(CheckRun, ManualCheckMessageStartsASecondChainThatEndsAtTheFolderEnd) {
  Fixture f(Users{{"u", "", {{"a", "d", "X", -1, 0}, {"b", "d", "X", 0, 2}, {"c", "d", "X", -1, 0}}},
             {"v", "", {}}});
  ASSERT_FALSE(f.run.Step());               // 32773: u's folder opens, 32774 queued
  f.run.queue.push_back(kIdmCheckMessage);  // the menu's "メッセージチェック"
  EXPECT_EQ(f.run.Drain(), kIdOk);
  EXPECT_EQ(f.calls, Join({UserOpened("u", "<sent>", ""), NewMessage(1, 3), OldMessage(),
                           NewMessage(1, 3),
                           EndOfFolder(),  // the second chain finds the end and closes
                           // the first chain's step finds no folder open and does nothing
                           UserOpened("v", "<sent>", ""), EndOfFolder(),
                           {"NextUser(1)", "Refresh", "Post(1)"}}));
  EXPECT_EQ(f.run.shown[7].user, "u" + kCheckDone);
  EXPECT_EQ(f.run.shown[7].messageCount, 3);
  EXPECT_EQ(f.run.shown[7].pointTotal, 8);
}

TEST(CheckRun, ManualNextUserWithAFolderOpenOverwritesTheFlagWithoutClosing) {
  Fixture f(Users{{"u", "", {{"a", "d", "X", -1, 0}, {"b", "d", "X", -1, 0}}},
             {"v", "", {{"c", "d", "ABC", -1, 0}, {"e", "d", "ABC", -1, 0}}},
             {"w", "", {}}});
  ASSERT_FALSE(f.run.Step());           // 32773: u's folder opens, 32774 queued
  f.run.queue.push_back(kIdmNextUser);  // the menu's "ユーザー切り替え"
  EXPECT_EQ(f.run.Drain(), kIdOk);
  EXPECT_EQ(f.calls,
            Join({UserOpened("u", "<sent>", ""), NewMessage(1, 3),  // the queued step, on u
                  UserOpened("v", "<sent>", ""),                    // u's folder stays open
                  NewMessage(1, 5), NewMessage(1, 5),               // two chains take turns on v
                  EndOfFolder(),                                    // one closes v's folder,
                                                                    // the other does nothing
                  UserOpened("w", "<sent>", ""), EndOfFolder(),
                  {"NextUser(1)", "Refresh", "Post(1)"}}));
  EXPECT_EQ(f.run.shown[8].user, "v" + kCheckDone);
  EXPECT_EQ(f.run.shown[8].messageCount, 2);
  EXPECT_EQ(f.run.shown[8].hitTotal, 2);
}

TEST(CheckRun, ManualNextUserBetweenUsersOpensAFurtherFolderWithoutClosing) {
  Fixture f(Users{{"u", "", {}}, {"v", "", {{"a", "d", "X", -1, 0}}}, {"w", "", {}}});
  f.run.queue.push_back(kIdmNextUser);  // a second next-user step while idle
  EXPECT_EQ(f.run.Drain(), kIdOk);
  EXPECT_EQ(f.calls, Join({UserOpened("u", "<sent>", ""), UserOpened("v", "<sent>", ""),
                           // u's next-message step runs on v's folder, opened by the second step
                           NewMessage(1, 3), EndOfFolder(),
                           UserOpened("w", "<sent>", ""), EndOfFolder(),
                           {"NextUser(1)", "Refresh", "Post(1)"}}));
  // u's folder was never closed: one close for v's folder, one for w's.
  EXPECT_EQ(std::count(f.calls.begin(), f.calls.end(), "CloseFolder"), 2);
}

TEST(CheckRun, UnterminatedFieldsAreCutAtTheirLastByte) {
  std::string fullName(UserRecord::kNameSize, 'n');
  std::string fullKind = kBoard + std::string(UserRecord::kKindSize - kBoard.size(), 'k');
  ScriptedMessage fullMessage{std::string(MessageRecord::kTitleSize, 'X'),
                              std::string(MessageRecord::kDestinationSize, 'd'),
                              std::string(MessageRecord::kBodySize, 'X'), -1, 0};
  Fixture f(Users{{fullName, fullKind, {fullMessage}}}, "X\t1\n");
  f.run.Drain();
  std::string name = fullName.substr(0, UserRecord::kNameSize - 1);
  std::string kind = fullKind.substr(0, UserRecord::kKindSize - 1);
  ASSERT_GE(f.calls.size(), 7u);
  EXPECT_EQ(f.calls[2], "OpenFolder(" + name + ",<sent>,0," + kind + ")");
  const int32_t hits = MessageRecord::kBodySize - 1 + MessageRecord::kTitleSize - 1;
  EXPECT_EQ(f.calls[6], "StoreScore(" + std::to_string(hits) + "," + std::to_string(hits) + ")");
  EXPECT_EQ(f.run.shown[1].user, name);
  EXPECT_EQ(f.run.shown[1].destination.size(), MessageRecord::kDestinationSize - 1);
  EXPECT_EQ(f.run.shown[1].title.size(), MessageRecord::kTitleSize - 1);
}

// A run whose scoring is replaced by fixed scores, to reach the counters' limits.
class FixedScoreRun : public QueuedRun {
 public:
  using QueuedRun::QueuedRun;
  Score next;  // what the next new message scores

 protected:
  Score ScoreNewMessage(char*, char*) override { return next; }
};

TEST(CheckRun, TotalsHoldAtTheInt32Limits) {
  Calls calls;
  RecordingHost host(calls, {{"up", "",
                              {{"a", "d", "", -1, 0}, {"b", "d", "", -1, 0},
                               {"c", "d", "", 0, kMax}}},
                             {"down", "", {{"a", "d", "", 0, kMin}, {"b", "d", "", 0, -1}}}});
  FixedScoreRun run(host, calls);
  run.next = {kMax - 1, kMax - 1};
  run.Dispatch(kIdmNextUser);
  run.Dispatch(kIdmCheckMessage);
  run.Dispatch(kIdmCheckMessage);
  run.Dispatch(kIdmCheckMessage);
  EXPECT_EQ(run.m_nHitTotal, kMax);
  EXPECT_EQ(run.m_nPointTotal, kMax);
  EXPECT_EQ(run.m_strMessagePoints, "2147483646");
  EXPECT_EQ(std::count(calls.begin(), calls.end(),
                       "StoreScore(" + std::to_string(kMax - 1) + "," + std::to_string(kMax - 1) +
                           ")"),
            2);  // each message stores its own score, not the total
  run.Dispatch(kIdmCheckMessage);  // end of folder
  run.Dispatch(kIdmNextUser);
  run.Dispatch(kIdmCheckMessage);
  run.Dispatch(kIdmCheckMessage);
  EXPECT_EQ(run.m_nPointTotal, kMin);
}

TEST(CheckRun, StartPostsTheFirstStepOnlyWithKeywordsAndCallsNoHost) {
  struct Case {
    const char* contents;  // the keyword file, or null for none
    int command;           // what the start posts
  };
  const Case cases[] = {{"ABC\n", kIdmNextUser}, {"", kIdCancel}, {nullptr, kIdCancel}};
  for (const Case& c : cases) {
    Calls calls;
    RecordingHost host(calls, {{"u", "", {}}});
    QueuedRun run(host, calls);
    KeywordFile file(c.contents != nullptr ? c.contents : "");
    std::string path = c.contents != nullptr ? file.path() : "/nonexistent/orvan.key";
    int loaded = run.StartRunFrom(path.c_str());
    EXPECT_EQ(loaded > 0, c.command == kIdmNextUser);
    EXPECT_EQ(calls, Calls{"Post(" + std::to_string(c.command) + ")"});
  }
  // From the executable's directory: whatever it finds, the post matches the count.
  Calls calls;
  RecordingHost host(calls, {});
  QueuedRun run(host, calls);
  int loaded = run.StartRun();
  EXPECT_EQ(calls, Calls{loaded > 0 ? "Post(32773)" : "Post(2)"});
}

TEST(CheckRun, MessagePointsShowTheLatestNewScoreAcrossUsers) {
  Fixture f(Users{{"u", "", {{"a", "d", "ABC ABC ABC", -1, 0}}}, {"v", "", {{"a", "d", "", 5, 9}}}});
  f.run.Drain();
  EXPECT_EQ(f.run.m_strMessagePoints, "15");  // not cleared by the next user or an old message
}

}  // namespace
