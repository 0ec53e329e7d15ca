#include "orvanhost/store_host.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/host_library.h"
#include "orvanhost/store.h"
#include "orvanhost/test_store.h"

namespace {

const std::string kA = "\x82\xA0";  // あ
const std::string kBoard(kBoardKind);
const std::string kSent(kSentFolderName);

// SQL text for a BLOB literal of `bytes`.
std::string Blob(const std::string& bytes) { return "x'" + Hex(bytes) + "'"; }

// A store with two ordinary users (given out of position order), a board, and messages.
class StoreHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateEmptyStore(path_);
    SideConnection side(path_);
    side.Execute("INSERT INTO users (position, name) VALUES (20, " + Blob("sato") + ")");
    side.Execute("INSERT INTO users (position, name, kind) VALUES (30, " + Blob(kA + "board") +
                 ", " + Blob(kBoard) + ")");
    side.Execute("INSERT INTO users (position, name) VALUES (10, " + Blob("yamada") + ")");
    side.Execute("INSERT INTO folders (id, user, name) VALUES (1, 10, " + Blob(kSent) + ")");
    side.Execute("INSERT INTO folders (id, user, name) VALUES (2, 20, " + Blob(kSent) + ")");
    side.Execute("INSERT INTO folders (id, user, name) VALUES (3, 30, NULL)");
    side.Execute("INSERT INTO folders (id, user, name) VALUES (4, 10, x'6f74686572')");
    // Folder 1's messages, out of position order; one is scored.
    side.Execute(
        "INSERT INTO messages (position, folder, title, destination, body) VALUES "
        "(7, 1, x'7469746c6537', x'6465737437', x'626f647937')");
    side.Execute(
        "INSERT INTO messages (position, folder, title, destination, body, score_state, "
        "points, hits) VALUES (3, 1, x'7469746c6533', x'6465737433', x'626f647933', 0, 42, 4)");
    side.Execute("INSERT INTO messages (position, folder, title) VALUES (5, 4, x'6f74686572')");
    side.Execute("INSERT INTO messages (position, folder, title) VALUES (9, 3, x'626f617264')");
  }

  // Attaches and opens the user list, as a check run starts.
  static void Walk(StoreHost& host) {
    host.HostAttach(0, "orLexmon");
    ASSERT_NE(host.HostOpenUserList(0, 0, "*"), 0);
  }

  TempDir dir_;
  std::string path_ = dir_.File("store.sqlite");
  std::unique_ptr<UserRecord> user_ = std::make_unique<UserRecord>();
  std::unique_ptr<MessageRecord> message_ = std::make_unique<MessageRecord>();
};

TEST_F(StoreHostTest, DeliversUsersInPositionOrderWritingOnlyNameAndKind) {
  StoreHost host(path_);
  Walk(host);
  std::memset(user_->bytes, 0x55, sizeof user_->bytes);
  std::vector<std::pair<std::string, std::string>> users;
  while (host.HostNextUser(user_.get(), 1) != 0) {
    users.emplace_back(user_->Name(), user_->Kind());
    EXPECT_EQ(static_cast<unsigned char>(user_->bytes[UserRecord::kNameOffset + 100]), 0x55);
    EXPECT_EQ(static_cast<unsigned char>(user_->bytes[UserRecord::kKindOffset - 1]), 0x55);
  }
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"yamada", ""}, {"sato", ""}, {kA + "board", kBoard}};
  EXPECT_EQ(users, expected);
  EXPECT_EQ(host.HostNextUser(user_.get(), 1), 0);  // stays at the end
  host.HostCloseUserList();
  EXPECT_EQ(host.HostNextUser(user_.get(), 1), 0);  // the list is closed
  host.HostDetach();
}

TEST_F(StoreHostTest, CutsLongUserFieldsAtCharacterBoundaries) {
  {
    SideConnection side(path_);
    // "x" then two-byte characters: the name field ends between a character's two bytes.
    std::string name = "x";
    while (name.size() < UserRecord::kNameSize + 10) name += kA;
    std::string kind = "yy";
    while (kind.size() < UserRecord::kKindSize + 10) kind += kA;
    side.Execute("UPDATE users SET name = " + Blob(name) + ", kind = " + Blob(kind) +
                 " WHERE position = 10");
  }
  StoreHost host(path_);
  Walk(host);
  std::memset(user_->bytes, 0, sizeof user_->bytes);
  ASSERT_NE(host.HostNextUser(user_.get(), 1), 0);
  // kNameSize (69162) is even: 1 + 2k <= 69161 gives k = 34580 and 69161 bytes of text.
  EXPECT_EQ(std::strlen(user_->Name()), 1 + 2 * ((UserRecord::kNameSize - 2) / 2));
  EXPECT_LE(std::strlen(user_->Kind()), UserRecord::kKindSize - 1);
  EXPECT_EQ(std::strlen(user_->Kind()) % 2, 0u);  // "yy" and whole characters only
}

TEST_F(StoreHostTest, DeliversTheFolderMessagesInPositionOrderWithTheirScores) {
  StoreHost host(path_);
  Walk(host);
  ASSERT_NE(host.HostOpenFolder("yamada", kSent.c_str(), 0, ""), 0);
  ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
  EXPECT_STREQ(message_->Title(), "title3");
  EXPECT_STREQ(message_->Destination(), "dest3");
  EXPECT_STREQ(message_->Body(), "body3");
  EXPECT_EQ(message_->ScoreState(), 0);
  EXPECT_EQ(message_->StoredPoints(), 42);
  host.HostFinishMessage();
  ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
  EXPECT_STREQ(message_->Title(), "title7");
  EXPECT_STREQ(message_->Body(), "body7");
  EXPECT_LT(message_->ScoreState(), 0);
  EXPECT_EQ(message_->StoredPoints(), 0);
  host.HostFinishMessage();
  EXPECT_EQ(host.HostNextMessage(message_.get(), 0), 0);
  host.HostCloseFolder();
  EXPECT_EQ(host.HostNextMessage(message_.get(), 0), 0);  // no folder open
}

TEST_F(StoreHostTest, OpensTheBoardFolderForANullFolderName) {
  StoreHost host(path_);
  Walk(host);
  const std::string board = kA + "board";
  ASSERT_NE(host.HostOpenFolder(board.c_str(), nullptr, 0, kBoard.c_str()), 0);
  ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
  EXPECT_STREQ(message_->Title(), "board");
  EXPECT_EQ(host.HostNextMessage(message_.get(), 0), 0);
  // An ordinary user has no folder without a name, and a board has no "送信済みトレイ".
  EXPECT_EQ(host.HostOpenFolder("yamada", nullptr, 0, ""), 0);
  EXPECT_EQ(host.HostOpenFolder(board.c_str(), kSent.c_str(), 0, kBoard.c_str()), 0);
}

TEST_F(StoreHostTest, RefusesMissingUsersAndFolders) {
  StoreHost host(path_);
  Walk(host);
  EXPECT_EQ(host.HostOpenFolder("nobody", kSent.c_str(), 0, ""), 0);
  EXPECT_EQ(host.HostOpenFolder("yamad", kSent.c_str(), 0, ""), 0);  // a prefix is no match
  EXPECT_EQ(host.HostOpenFolder("yamada", "Inbox", 0, ""), 0);
  EXPECT_EQ(host.HostNextMessage(message_.get(), 0), 0);
  EXPECT_EQ(host.HostStoreScore(1, 1), 0);
  // Another folder of the same user opens by its name.
  ASSERT_NE(host.HostOpenFolder("yamada", "other", 0, ""), 0);
  ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
  EXPECT_STREQ(message_->Title(), "other");
}

TEST_F(StoreHostTest, FindsNamesThatScriptsWroteAsText) {
  {
    SideConnection side(path_);
    side.Execute("INSERT INTO users (position, name) VALUES (40, 'texty')");
    side.Execute("INSERT INTO folders (id, user, name) VALUES (5, 40, 'box')");
  }
  StoreHost host(path_);
  Walk(host);
  EXPECT_NE(host.HostOpenFolder("texty", "box", 0, ""), 0);
}

TEST_F(StoreHostTest, WritesExactlyTheMessageFieldsAndCutsTheBody) {
  std::string body = "b";
  while (body.size() < 40000) body += kA;
  std::string title = "tt";
  while (title.size() < MessageRecord::kTitleSize + 10) title += kA;
  {
    SideConnection side(path_);
    side.Execute("UPDATE messages SET body = " + Blob(body) + ", title = " + Blob(title) +
                 " WHERE position = 3");
    // A body whose cut would fall inside a character loses that character.
    side.Execute("UPDATE messages SET body = " + Blob("bb" + body.substr(1)) +
                 " WHERE position = 7");
  }
  StoreHost host(path_);
  Walk(host);
  ASSERT_NE(host.HostOpenFolder("yamada", kSent.c_str(), 0, ""), 0);
  std::memset(message_->bytes, 0x55, sizeof message_->bytes);
  ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
  // 32767 bytes of text at most: "b" and 16383 whole characters.
  EXPECT_EQ(std::strlen(message_->Body()), StoreHost::kMaxBodyText);
  EXPECT_EQ(std::strlen(message_->Title()), 2 + 2 * ((MessageRecord::kTitleSize - 3) / 2));
  // Outside the five fields nothing is written.
  for (const size_t offset :
       {size_t{0}, MessageRecord::kTitleOffset - 1, MessageRecord::kScoreStateOffset - 1,
        MessageRecord::kStoredPointsOffset + 4, MessageRecord::kBodyOffset - 1}) {
    EXPECT_EQ(static_cast<unsigned char>(message_->bytes[offset]), 0x55) << offset;
  }
  ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
  EXPECT_EQ(std::strlen(message_->Body()), StoreHost::kMaxBodyText - 1);
}

TEST_F(StoreHostTest, StoresTheScoreOfTheLastDeliveredMessage) {
  StoreHost host(path_);
  Walk(host);
  EXPECT_EQ(host.HostStoreScore(1, 2), 0);  // nothing delivered yet
  ASSERT_NE(host.HostOpenFolder("yamada", kSent.c_str(), 0, ""), 0);
  ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);  // position 3, already scored
  host.HostFinishMessage();
  ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);  // position 7
  EXPECT_NE(host.HostStoreScore(5, -12), 0);
  host.HostFinishMessage();
  EXPECT_EQ(host.HostNextMessage(message_.get(), 0), 0);
  host.HostCloseFolder();
  SideConnection side(path_);
  EXPECT_EQ(side.Integer("SELECT score_state FROM messages WHERE position = 7"), 0);
  EXPECT_EQ(side.Integer("SELECT hits FROM messages WHERE position = 7"), 5);
  EXPECT_EQ(side.Integer("SELECT points FROM messages WHERE position = 7"), -12);
  EXPECT_EQ(side.Integer("SELECT points FROM messages WHERE position = 3"), 42);  // untouched
  EXPECT_EQ(side.Integer("SELECT count(*) FROM messages WHERE score_state >= 0"), 2);
}

// Whatever ends a folder writes its pending scores: the next HostOpenFolder, HostCloseFolder,
// HostCloseUserList, HostDetach, or the host's end.
TEST_F(StoreHostTest, PendingScoresAreWrittenWhenTheFolderEnds) {
  const std::vector<std::pair<const char*, void (*)(StoreHost&)>> endings = {
      {"open another folder",
       [](StoreHost& host) { host.HostOpenFolder("sato", kSent.c_str(), 0, ""); }},
      {"close the folder", [](StoreHost& host) { host.HostCloseFolder(); }},
      {"close the user list", [](StoreHost& host) { host.HostCloseUserList(); }},
      {"detach", [](StoreHost& host) { host.HostDetach(); }},
  };
  int hits = 1;
  for (const auto& [name, end] : endings) {
    StoreHost host(path_);
    Walk(host);
    ASSERT_NE(host.HostOpenFolder("yamada", kSent.c_str(), 0, ""), 0);
    ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
    ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);  // position 7
    host.HostStoreScore(++hits, 1);
    end(host);
    SideConnection side(path_);
    EXPECT_EQ(side.Integer("SELECT hits FROM messages WHERE position = 7"), hits) << name;
  }
  {
    StoreHost host(path_);
    Walk(host);
    ASSERT_NE(host.HostOpenFolder("yamada", kSent.c_str(), 0, ""), 0);
    ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
    ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
    host.HostStoreScore(++hits, 1);
  }  // the host's end
  SideConnection side(path_);
  EXPECT_EQ(side.Integer("SELECT hits FROM messages WHERE position = 7"), hits);
}

// A batch whose window is over is written by the next call, with the folder still open.
TEST_F(StoreHostTest, ABatchIsWrittenWhenItsWindowIsOver) {
  StoreHost host(path_);
  Walk(host);
  ASSERT_NE(host.HostOpenFolder("yamada", kSent.c_str(), 0, ""), 0);
  ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
  ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);  // position 7
  host.HostStoreScore(6, 1);
  SideConnection side(path_);
  EXPECT_EQ(side.Bytes("SELECT hits FROM messages WHERE position = 7"), "<null>");
  std::this_thread::sleep_for(StoreHost::kMaxBatchAge + std::chrono::milliseconds(20));
  host.HostFinishMessage();
  EXPECT_EQ(side.Integer("SELECT hits FROM messages WHERE position = 7"), 6);
  EXPECT_EQ(host.HostNextMessage(message_.get(), 0), 0);  // the folder goes on where it was
}

TEST_F(StoreHostTest, StoreThatCannotBeOpenedMakesTheUserListFail) {
  const std::string garbage = dir_.File("garbage.sqlite");
  std::ofstream(garbage) << "this is not a database, it is only text that goes on and on";
  const std::string empty = dir_.File("empty.sqlite");
  {
    sqlite3* db = nullptr;
    std::string error;
    ASSERT_TRUE(OpenStore(empty, /*create=*/true, &db, &error)) << error;
    sqlite3_close(db);
  }
  for (const std::string& path : {dir_.File("missing.sqlite"), garbage, empty}) {
    StoreHost host(path);
    host.HostAttach(0, "orLexmon");
    EXPECT_EQ(host.HostOpenUserList(0, 0, "*"), 0) << path;
    EXPECT_EQ(host.HostNextUser(user_.get(), 1), 0) << path;
    EXPECT_EQ(host.HostOpenFolder("yamada", kSent.c_str(), 0, ""), 0) << path;
    host.HostCloseUserList();
    host.HostDetach();
  }
  EXPECT_NE(access(dir_.File("missing.sqlite").c_str(), F_OK), 0);  // not created
}

TEST_F(StoreHostTest, DeliversEveryMessageOnceAcrossManyBatches) {
  constexpr int kMessages = 3 * StoreHost::kMaxBatchStores + 17;
  {
    SideConnection side(path_);
    side.Execute("BEGIN");
    for (int i = 0; i < kMessages; ++i) {
      side.Execute("INSERT INTO messages (position, folder, title) VALUES (" +
                   std::to_string(1000 + i) + ", 2, 'm')");
    }
    side.Execute("COMMIT");
  }
  StoreHost host(path_);
  Walk(host);
  ASSERT_NE(host.HostOpenFolder("sato", kSent.c_str(), 0, ""), 0);
  int delivered = 0;
  std::thread writer;
  while (host.HostNextMessage(message_.get(), 0) != 0) {
    // Every third message is left unscored; the others get a score derived from their order.
    if (delivered % 3 != 2) host.HostStoreScore(delivered, 2 * delivered);
    host.HostFinishMessage();
    ++delivered;
    if (delivered == kMessages / 2) {
      // Another connection reads meanwhile, and writes as soon as the batch window ends.
      writer = std::thread([this] {
        SideConnection side(path_);
        EXPECT_GT(side.Integer("SELECT count(*) FROM messages"), 0);
        side.Execute("INSERT INTO users (name) VALUES ('late')");
      });
    }
    if (delivered % 1000 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  writer.join();
  EXPECT_EQ(delivered, kMessages);
  host.HostCloseFolder();
  SideConnection side(path_);
  EXPECT_EQ(side.Integer("SELECT count(*) FROM messages WHERE folder = 2 AND score_state = 0 AND "
                         "hits = position - 1000 AND points = 2 * hits"),
            kMessages - kMessages / 3);
  EXPECT_EQ(side.Integer("SELECT count(*) FROM messages WHERE folder = 2 AND score_state = -1 "
                         "AND hits IS NULL AND points = 0"),
            kMessages / 3);
}

// A child process scores the folder and is killed at a random moment, several times; each
// message is then either scored right or untouched, and a last uninterrupted run finishes.
TEST_F(StoreHostTest, KilledRunsLoseNothing) {
  constexpr int kMessages = 20000;
  {
    SideConnection side(path_);
    side.Execute("BEGIN");
    for (int i = 0; i < kMessages; ++i) {
      side.Execute("INSERT INTO messages (position, folder, body) VALUES (" +
                   std::to_string(100000 + i) + ", 2, 'some body text')");
    }
    side.Execute("COMMIT");
  }
  const auto run = [this] {
    StoreHost host(path_);
    host.HostAttach(0, "orLexmon");
    if (host.HostOpenUserList(0, 0, "*") == 0) _exit(2);
    if (host.HostOpenFolder("sato", kSent.c_str(), 0, "") == 0) _exit(3);
    auto record = std::make_unique<MessageRecord>();
    while (host.HostNextMessage(record.get(), 0) != 0) {
      // One score for all, so that a torn or misplaced write would show.
      if (record->ScoreState() < 0) host.HostStoreScore(7, 13);
      host.HostFinishMessage();
    }
    host.HostCloseFolder();
    host.HostCloseUserList();
    host.HostDetach();
    _exit(0);
  };
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> delay_ms(1, 60);
  for (int attempt = 0; attempt < 6; ++attempt) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) run();
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms(random)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    SideConnection side(path_);
    EXPECT_EQ(side.Bytes("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(side.Integer("SELECT count(*) FROM messages WHERE folder = 2 AND NOT ("
                           "(score_state = 0 AND hits = 7 AND points = 13) OR "
                           "(score_state = -1 AND hits IS NULL AND points = 0))"),
              0);
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) run();
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  SideConnection side(path_);
  EXPECT_EQ(side.Integer("SELECT count(*) FROM messages WHERE folder = 2 AND score_state = 0 "
                         "AND hits = 7 AND points = 13"),
            kMessages);
}

// The built library, loaded as the program loads it: one exported lookup entry, ten numbers.
TEST_F(StoreHostTest, LibraryExportsTheTenOperationsByNumber) {
  void* library = dlopen(ORVANHOST_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  const auto lookup = reinterpret_cast<HostLookupProc>(dlsym(library, kHostLookupSymbol));
  ASSERT_NE(lookup, nullptr);
  for (const int32_t ordinal : {1, 2, 100, 101, 102, 270, 272, 273, 275, 284}) {
    EXPECT_NE(lookup(ordinal), nullptr) << ordinal;
  }
  for (const int32_t ordinal : {0, 3, 99, 103, 271, 274, 276, 283, 285, -1}) {
    EXPECT_EQ(lookup(ordinal), nullptr) << ordinal;
  }
  EXPECT_EQ(dlsym(library, "_ZN9StoreHost10HostAttachEiPKc"), nullptr);  // hidden

  // A short run through the library over this test's store, named by ORVAN_STORE.
  setenv(kStoreEnvironmentVariable, path_.c_str(), 1);
  const auto attach = reinterpret_cast<HostAttachProc>(lookup(kOrdinalHostAttach));
  const auto open_list = reinterpret_cast<HostOpenUserListProc>(lookup(kOrdinalHostOpenUserList));
  const auto next_user = reinterpret_cast<HostNextUserProc>(lookup(kOrdinalHostNextUser));
  const auto open_folder = reinterpret_cast<HostOpenFolderProc>(lookup(kOrdinalHostOpenFolder));
  const auto next_message = reinterpret_cast<HostNextMessageProc>(lookup(kOrdinalHostNextMessage));
  const auto store_score = reinterpret_cast<HostStoreScoreProc>(lookup(kOrdinalHostStoreScore));
  const auto finish = reinterpret_cast<HostVoidProc>(lookup(kOrdinalHostFinishMessage));
  const auto close_folder = reinterpret_cast<HostVoidProc>(lookup(kOrdinalHostCloseFolder));
  const auto close_list = reinterpret_cast<HostVoidProc>(lookup(kOrdinalHostCloseUserList));
  const auto detach = reinterpret_cast<HostVoidProc>(lookup(kOrdinalHostDetach));
  attach(0, "orLexmon");
  ASSERT_NE(open_list(0, 0, "*"), 0);
  std::memset(user_->bytes, 0, sizeof user_->bytes);
  ASSERT_NE(next_user(user_.get(), 1), 0);
  EXPECT_STREQ(user_->Name(), "yamada");
  ASSERT_NE(open_folder(user_->Name(), kSent.c_str(), 0, user_->Kind()), 0);
  ASSERT_NE(next_message(message_.get(), 0), 0);
  ASSERT_NE(next_message(message_.get(), 0), 0);
  EXPECT_STREQ(message_->Title(), "title7");
  store_score(3, 9);
  finish();
  close_folder();
  close_list();
  detach();
  unsetenv(kStoreEnvironmentVariable);
  dlclose(library);
  SideConnection side(path_);
  EXPECT_EQ(side.Integer("SELECT points FROM messages WHERE position = 7 AND hits = 3"), 9);
}

}  // namespace
