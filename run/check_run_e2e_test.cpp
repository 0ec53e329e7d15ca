// The check run against the bundled host library, loaded through the binder over a store made
// with plain SQL: what the run stores, what it leaves alone, and how it ends.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "host/host_binder.h"
#include "run/headless_run.h"
#include "run/test_store.h"

namespace {

namespace fs = std::filesystem;
using test_store::ScoreRow;
using test_store::Sjis;
using test_store::Store;

const std::string kSent = Sjis("送信済みトレイ");
const std::string kInbox = Sjis("受信トレイ");
const std::string kBoard = Sjis("掲示板");

// A temporary directory with a store and a keyword list; ORVAN_STORE names the store.
class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("run_e2e_" + std::to_string(test_util::ProcessId()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_storePath = (m_dir / "orvan.sqlite").string();
    test_util::SetEnv("ORVAN_STORE", m_storePath.c_str());
    // あい is folded to half-width katakana, abc to ABC, so アイ and ＡＢＣ match as well.
    std::ofstream(m_dir / "orvan.key", std::ios::binary)
        << Sjis("契約\t10\nあい\t2\nabc\t5\n");
    store = std::make_unique<Store>(m_storePath, true);
  }
  void TearDown() override {
    store.reset();
    fs::remove_all(m_dir);
  }

  // Binds the host library as the program does (it lies beside this test) and runs the whole
  // sequence. Returns the run's ending command; the run is kept for its fields.
  int Run() {
    std::string error;
    m_host = BindHostLibrary(&error);
    EXPECT_NE(m_host, nullptr) << error;
    if (m_host == nullptr) return -1;
    run = std::make_unique<CHeadlessRun>(*m_host);
    return RunHeadless(*m_host, *run, (m_dir / "orvan.key").string().c_str());
  }

  int64_t UserWithFolder(const std::string& name, const std::string& kind,
                         const std::string* folder, int64_t* folderId) {
    int64_t user = store->AddUser(name, kind);
    std::string_view view;
    if (folder != nullptr) view = *folder;
    *folderId = store->AddFolder(user, folder != nullptr ? &view : nullptr);
    return user;
  }

  std::map<int64_t, ScoreRow> ScoresByPosition() {
    std::map<int64_t, ScoreRow> rows;
    for (const ScoreRow& row : store->Scores()) rows.emplace(row.position, row);
    return rows;
  }

  std::unique_ptr<Store> store;       // the store, through SQL
  std::unique_ptr<CHeadlessRun> run;  // the last run

 private:
  fs::path m_dir;                       // everything of the test
  std::string m_storePath;              // the store file
  std::unique_ptr<HostLibrary> m_host;  // the bound host library
};

TEST_F(EndToEnd, WholeRunScoresEachUsersOneFolderAndNothingElse) {
  int64_t sent, inbox, board, boardSent, other;
  int64_t yamada = UserWithFolder(Sjis("山田"), "", &kSent, &sent);
  std::string_view inboxName = kInbox;
  inbox = store->AddFolder(yamada, &inboxName);
  int64_t notice = UserWithFolder(Sjis("社内掲示板"), kBoard, nullptr, &board);
  std::string_view sentName = kSent;
  boardSent = store->AddFolder(notice, &sentName);
  UserWithFolder(Sjis("鈴木"), kBoard + "X", &kSent, &other);  // not a board: its sent folder

  int64_t m1 = store->AddMessage(sent, Sjis("契約の件"), "a@example.jp",
                                 Sjis("あいさつ 契約 abc"));           // 4 hits, 27 points
  int64_t m2 = store->AddMessage(sent, "old", "b", Sjis("契約"), 0, 7, 1);  // scored before
  int64_t m3 = store->AddMessage(sent, "", "", "nothing to find");        // 0 hits, 0 points
  int64_t m4 = store->AddMessage(inbox, "", "", Sjis("契約"));            // not this folder
  int64_t m5 = store->AddMessage(board, Sjis("お知らせ"), "all", Sjis("アイ"));  // 1 hit, 2
  int64_t m6 = store->AddMessage(boardSent, "", "", Sjis("契約"));        // not the board
  int64_t m7 = store->AddMessage(other, "x", "y", Sjis("ＡＢＣabc"));    // 2 hits, 10 points

  EXPECT_EQ(Run(), kIdOk);
  std::map<int64_t, ScoreRow> rows = ScoresByPosition();
  EXPECT_EQ(rows[m1], (ScoreRow{m1, sent, 0, 27, 4}));
  EXPECT_EQ(rows[m2], (ScoreRow{m2, sent, 0, 7, 1}));
  EXPECT_EQ(rows[m3], (ScoreRow{m3, sent, 0, 0, 0}));
  EXPECT_EQ(rows[m4], (ScoreRow{m4, inbox, -1, 0, std::nullopt}));
  EXPECT_EQ(rows[m5], (ScoreRow{m5, board, 0, 2, 1}));
  EXPECT_EQ(rows[m6], (ScoreRow{m6, boardSent, -1, 0, std::nullopt}));
  EXPECT_EQ(rows[m7], (ScoreRow{m7, other, 0, 10, 2}));

  EXPECT_EQ(run->m_strUser, Sjis("全ユーザー完了").c_str());
  EXPECT_EQ(run->m_nMessageCount, 1);  // the last user's
  EXPECT_EQ(run->m_nHitTotal, 2);
  EXPECT_EQ(run->m_nPointTotal, 10);
  EXPECT_EQ(run->m_strTitle, "x");
  EXPECT_EQ(run->m_strDestination, "y");
  EXPECT_EQ(run->m_strMessagePoints, "10");
  EXPECT_EQ(run->m_bFolderOpen, 0);
}

TEST_F(EndToEnd, SecondRunStoresNothingNewAndAddsStoredPoints) {
  int64_t sent;
  UserWithFolder("u", "", &kSent, &sent);
  store->AddMessage(sent, Sjis("契約"), "", Sjis("あい"));
  store->AddMessage(sent, "", "", "ABC", 0, -4, 1);
  ASSERT_EQ(Run(), kIdOk);
  std::string after = store->Dump();
  ASSERT_EQ(Run(), kIdOk);
  EXPECT_EQ(store->Dump(), after);
  EXPECT_EQ(run->m_nPointTotal, 12 - 4);
  EXPECT_EQ(run->m_nHitTotal, 0);  // nothing newly scored
  EXPECT_EQ(run->m_strMessagePoints, "");
}

TEST_F(EndToEnd, MissingFolderEndsTheRunAfterEarlierUsersAreStored) {
  int64_t f1, f2, f3, f4;
  UserWithFolder("first", "", &kSent, &f1);
  UserWithFolder("second", "", &kSent, &f2);
  UserWithFolder("third", "", &kInbox, &f3);  // has no sent folder
  UserWithFolder("fourth", "", &kSent, &f4);
  int64_t m1 = store->AddMessage(f1, "", "", "abc");
  int64_t m2 = store->AddMessage(f2, "", "", "abcabc");
  int64_t m3 = store->AddMessage(f3, "", "", "abc");
  int64_t m4 = store->AddMessage(f4, "", "", "abc");
  EXPECT_EQ(Run(), kIdCancel);
  std::map<int64_t, ScoreRow> rows = ScoresByPosition();
  EXPECT_EQ(rows[m1], (ScoreRow{m1, f1, 0, 5, 1}));
  EXPECT_EQ(rows[m2], (ScoreRow{m2, f2, 0, 10, 2}));
  EXPECT_EQ(rows[m3].state, -1);
  EXPECT_EQ(rows[m4].state, -1);
  EXPECT_EQ(run->m_strUser, ("third" + Sjis(" : メールオープンエラー")).c_str());
}

TEST_F(EndToEnd, BodyBeyondItsFieldIsCutByTheHost) {
  int64_t sent;
  UserWithFolder("u", "", &kSent, &sent);
  // A keyword that ends on byte 32767 counts; one starting after it is cut away.
  std::string body = std::string(32767 - 3, '.') + "abc" + "abc";
  int64_t m = store->AddMessage(sent, "", "", body);
  EXPECT_EQ(Run(), kIdOk);
  EXPECT_EQ(ScoresByPosition()[m], (ScoreRow{m, sent, 0, 5, 1}));
}

TEST_F(EndToEnd, StoreThatCannotBeOpenedWalksNoUser) {
  test_util::SetEnv("ORVAN_STORE", "/nonexistent-directory/orvan.sqlite");
  int64_t sent;
  UserWithFolder("u", "", &kSent, &sent);
  EXPECT_EQ(Run(), kIdOk);
  EXPECT_EQ(run->m_strUser, Sjis("全ユーザー完了").c_str());
  EXPECT_FALSE(fs::exists("/nonexistent-directory"));
}

}  // namespace
