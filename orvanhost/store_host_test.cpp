#include "orvanhost/store_host.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
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

// HostOpenFolder opens the folder of the user just delivered, however its name is stored: as
// TEXT beside a BLOB of the same bytes, with a NUL inside, or longer than the record's field.
// A name that is not the one just delivered is still found by its bytes, TEXT or BLOB.
TEST_F(StoreHostTest, OpensTheFolderOfTheUserDeliveredLast) {
  const std::string long_name = "L" + std::string(UserRecord::kNameSize + 100, 'n');
  {
    SideConnection side(path_);
    side.Execute("DELETE FROM messages; DELETE FROM folders; DELETE FROM users");
    const std::vector<std::string> names = {
        "'abc'",   Blob("abc"),     Blob(std::string("a\0bc", 4)),
        Blob("a"), Blob(long_name), Blob(std::string("a\0", 2))};
    for (size_t i = 0; i < names.size(); ++i) {
      const std::string n = std::to_string(i + 1);
      side.Execute("INSERT INTO users (position, name) VALUES (" + n + ", " + names[i] + ")");
      side.Execute("INSERT INTO folders (id, user, name) VALUES (" + n + ", " + n + ", " +
                   Blob(kSent) + ")");
      side.Execute("INSERT INTO messages (folder, title) VALUES (" + n + ", 'of user " + n + "')");
    }
  }
  StoreHost host(path_);
  Walk(host);
  std::memset(user_->bytes, 0, sizeof user_->bytes);
  std::vector<std::string> titles;
  while (host.HostNextUser(user_.get(), 1) != 0) {
    ASSERT_NE(host.HostOpenFolder(user_->Name(), kSent.c_str(), 0, user_->Kind()), 0);
    ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
    titles.emplace_back(message_->Title());
  }
  EXPECT_EQ(titles, (std::vector<std::string>{"of user 1", "of user 2", "of user 3", "of user 4",
                                              "of user 5", "of user 6"}));
  // By name, not just delivered: the first user in position order whose name has the bytes.
  ASSERT_NE(host.HostOpenFolder("abc", kSent.c_str(), 0, ""), 0);
  ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
  EXPECT_STREQ(message_->Title(), "of user 1");
  // The last user delivered, whose name "a\0" the record holds as "a", still comes first.
  ASSERT_NE(host.HostOpenFolder("a", kSent.c_str(), 0, ""), 0);
  ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
  EXPECT_STREQ(message_->Title(), "of user 6");
  EXPECT_EQ(host.LastFailure(), "");
}

// Texts are read as bytes whatever their storage class, and one longer than its field is read
// only as far as the field holds, TEXT as well as BLOB.
TEST_F(StoreHostTest, ReadsTextsOfEveryStorageClass) {
  std::string long_body = "x";
  while (long_body.size() < 40000) long_body += kA;
  {
    SideConnection side(path_);
    side.Execute("UPDATE messages SET title = 'text title', destination = 12345, body = CAST(" +
                 Blob(long_body) + " AS TEXT) WHERE position = 3");
    side.Execute(
        "UPDATE messages SET title = 1.5, destination = x'', body = 'short text' "
        "WHERE position = 7");
  }
  StoreHost host(path_);
  Walk(host);
  ASSERT_NE(host.HostOpenFolder("yamada", kSent.c_str(), 0, ""), 0);
  ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
  EXPECT_STREQ(message_->Title(), "text title");
  EXPECT_STREQ(message_->Destination(), "12345");
  EXPECT_EQ(std::string(message_->Body()), long_body.substr(0, StoreHost::kMaxBodyText));
  ASSERT_NE(host.HostNextMessage(message_.get(), 0), 0);
  EXPECT_STREQ(message_->Title(), "1.5");
  EXPECT_STREQ(message_->Destination(), "");
  EXPECT_STREQ(message_->Body(), "short text");
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
    SideConnection(path_).Execute(
        "UPDATE messages SET score_state = -1, hits = NULL WHERE position = 7");
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
  SideConnection(path_).Execute(
      "UPDATE messages SET score_state = -1, hits = NULL WHERE position = 7");
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

// A store that cannot be used makes the user list fail with a failure that says why, and stays
// as it was: a missing store is not created, and a 0-byte file does not become a database.
TEST_F(StoreHostTest, StoreThatCannotBeUsedIsAFailure) {
  struct Case {
    std::string path;    // the store
    const char* reason;  // what the failure says after "cannot be used: "
  };
  const std::string garbage = dir_.File("garbage.sqlite");
  std::ofstream(garbage) << "this is not a database, it is only text that goes on and on";
  const std::string zero_bytes = dir_.File("zero.sqlite");
  std::ofstream{zero_bytes};
  const std::string no_tables = dir_.File("no_tables.sqlite");
  const std::string no_body = dir_.File("no_body.sqlite");
  for (const std::string* path : {&no_tables, &no_body}) {
    sqlite3* db = nullptr;
    std::string error;
    ASSERT_TRUE(OpenStore(*path, StoreAccess::kCreate, &db, &error)) << error;
    if (path == &no_body) {
      sqlite3_exec(db,
                   "CREATE TABLE users (position INTEGER PRIMARY KEY, name, kind);"
                   "CREATE TABLE folders (id INTEGER PRIMARY KEY, user, name);"
                   "CREATE TABLE messages (position INTEGER PRIMARY KEY, folder, title);",
                   nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
  }
  const Case cases[] = {
      {dir_.File("missing.sqlite"), "it does not exist"},
      {garbage, "file is not a database"},
      {zero_bytes, "not an orvan store (no users, folders and messages tables)"},
      {no_tables, "not an orvan store (no users, folders and messages tables)"},
      {no_body, "no such column: score_state"},
  };
  for (const Case& c : cases) {
    StoreHost host(c.path);
    host.HostAttach(0, "orLexmon");
    EXPECT_EQ(host.HostOpenUserList(0, 0, "*"), 0) << c.path;
    EXPECT_EQ(host.HostNextUser(user_.get(), 1), 0) << c.path;
    host.HostCloseUserList();
    host.HostDetach();
    EXPECT_EQ(host.LastFailure(), "the store " + c.path + " cannot be used: " + c.reason);
    char buffer[16];
    EXPECT_EQ(host.HostLastFailure(buffer, sizeof buffer), 1);
    EXPECT_EQ(std::string(buffer), host.LastFailure().substr(0, 15));
  }
  EXPECT_NE(access(dir_.File("missing.sqlite").c_str(), F_OK), 0);  // not created
  EXPECT_EQ(std::filesystem::file_size(zero_bytes), 0u);            // not made a database

  // A store that the operator may only read: the scores could not be stored.
  ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  const int status = RunInChild(
      [this] {
        StoreHost host(path_);
        if (host.HostOpenUserList(0, 0, "*") != 0) return 1;
        return host.LastFailure() == "the store " + path_ +
                                         " cannot be used: it is read-only, so no score could "
                                         "be stored"
                   ? 0
                   : 2;
      },
      /*as_other_user=*/true);
  EXPECT_EQ(status, 0);
}

// Opening and reading write nothing: a store made with plain SQL in its own journal mode, whose
// messages are all scored, is byte for byte the same after a run; it goes to WAL mode only with
// the first score written.
TEST_F(StoreHostTest, ARunThatStoresNothingLeavesTheStoreAsItWas) {
  const std::string plain = dir_.File("plain.sqlite");
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(plain.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           (std::string(kStoreSchemaSql) + kStoreIndexesSql +
                            "INSERT INTO users (name) VALUES (x'75');"
                            "INSERT INTO folders (user, name) VALUES (1, " +
                            Blob(kSent) +
                            ");"
                            "INSERT INTO messages (folder, score_state, hits) VALUES (1, 0, 1);"
                            "INSERT INTO messages (folder, score_state, hits) VALUES (1, 0, 2);")
                               .c_str(),
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  const auto bytes = [&plain] {
    std::ifstream file(plain, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  };
  const auto journal_mode = [&plain] { return SideConnection(plain).Bytes("PRAGMA journal_mode"); };
  const std::string before = bytes();
  const auto run = [&] {
    StoreHost host(plain);
    Walk(host);
    ASSERT_NE(host.HostNextUser(user_.get(), 1), 0);
    ASSERT_NE(host.HostOpenFolder(user_->Name(), kSent.c_str(), 0, ""), 0);
    while (host.HostNextMessage(message_.get(), 0) != 0) {
      if (message_->ScoreState() < 0) host.HostStoreScore(3, 4);
    }
    host.HostDetach();
    EXPECT_EQ(host.LastFailure(), "");
  };
  run();
  EXPECT_EQ(bytes(), before);
  EXPECT_EQ(journal_mode(), "delete");
  SideConnection(plain).Execute("UPDATE messages SET score_state = -1 WHERE hits = 2");
  run();
  EXPECT_EQ(journal_mode(), "wal");
  EXPECT_EQ(SideConnection(plain).Integer("SELECT count(*) FROM messages WHERE hits = 3"), 1);
}

// A page that cannot be read ends the folder, and the user list, as their end does, but it is
// a failure, never taken for "no more".
TEST_F(StoreHostTest, ReadErrorIsAFailureNotTheEnd) {
  {
    SideConnection side(path_);
    side.Execute("BEGIN");
    for (int i = 0; i < 400; ++i) {
      side.Execute("INSERT INTO messages (folder, body) VALUES (2, randomblob(900))");
      side.Execute("INSERT INTO users (name) VALUES (randomblob(900))");
    }
    side.Execute("COMMIT");
  }  // the last connection copies the log into the file
  int64_t page_size = 0;
  std::vector<int64_t> pages;  // a leaf page in the middle of each table
  {
    SideConnection side(path_);
    page_size = side.Integer("PRAGMA page_size");
    for (const char* table : {"messages", "users"}) {
      const std::string where =
          std::string(" FROM dbstat WHERE name = '") + table + "' AND pagetype = 'leaf'";
      const int64_t leaves = side.Integer("SELECT count(*)" + where);
      if (leaves < 10) GTEST_SKIP() << "no dbstat in this SQLite";
      pages.push_back(side.Integer("SELECT pageno" + where + " ORDER BY pageno LIMIT 1 OFFSET " +
                                   std::to_string(leaves / 2)));
    }
  }
  {
    std::fstream file(path_, std::ios::binary | std::ios::in | std::ios::out);
    for (const int64_t page : pages) {
      file.seekp((page - 1) * page_size);
      file.write("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8);  // no page type that SQLite knows
    }
  }
  StoreHost host(path_);
  Walk(host);
  ASSERT_NE(host.HostOpenFolder("sato", kSent.c_str(), 0, ""), 0);
  int delivered = 0;
  while (host.HostNextMessage(message_.get(), 0) != 0) ++delivered;
  EXPECT_GT(delivered, 0);
  EXPECT_LT(delivered, 400);
  EXPECT_EQ(host.LastFailure(), "cannot read the messages of the store " + path_ +
                                    ": database disk image is malformed");
  StoreHost users(path_);
  Walk(users);
  int listed = 0;
  while (users.HostNextUser(user_.get(), 1) != 0) ++listed;
  EXPECT_LT(listed, 403);
  EXPECT_EQ(users.LastFailure(), "cannot read the user list of the store " + path_ +
                                     ": database disk image is malformed");
}

// While another process holds the store's lock, scores wait: past a window's end without
// holding up the run, and at the folder's end for up to the lock wait. Scores that still
// cannot be written are given up with a failure that says how many and why, and a later run
// writes them.
TEST_F(StoreHostTest, LockedStoreIsWaitedForAndNeverLosesScoresInSilence) {
  constexpr auto kWait = std::chrono::milliseconds(1500);
  const auto score_folder = [this](StoreHost& host) {
    Walk(host);
    ASSERT_NE(host.HostOpenFolder("yamada", kSent.c_str(), 0, ""), 0);
    while (host.HostNextMessage(message_.get(), 0) != 0) {
      if (message_->ScoreState() < 0) host.HostStoreScore(8, 9);
      std::this_thread::sleep_for(StoreHost::kMaxBatchAge);  // every window ends while locked
      host.HostFinishMessage();
    }
  };
  {
    // Locked for a while: the scores are written once the lock is free.
    SideConnection locker(path_);
    locker.Execute("BEGIN IMMEDIATE");
    StoreHost host(path_, kWait);
    score_folder(host);
    std::thread release([&locker, kWait] {
      std::this_thread::sleep_for(kWait / 3);
      locker.Execute("COMMIT");
    });
    host.HostCloseFolder();
    release.join();
    EXPECT_EQ(host.LastFailure(), "");
    EXPECT_EQ(SideConnection(path_).Integer("SELECT hits FROM messages WHERE position = 7"), 8);
  }
  SideConnection(path_).Execute("UPDATE messages SET score_state = -1, hits = NULL");
  {
    // Locked for longer than the wait.
    SideConnection locker(path_);
    locker.Execute("BEGIN IMMEDIATE");
    StoreHost host(path_, kWait);
    score_folder(host);
    const auto start = std::chrono::steady_clock::now();
    host.HostCloseFolder();
    EXPECT_GE(std::chrono::steady_clock::now() - start, kWait);
    EXPECT_EQ(host.LastFailure(), "2 scores not written to the store " + path_ +
                                      ": database is locked (after waiting 2 s for the lock); "
                                      "those messages stay unscored for the next run");
    locker.Execute("COMMIT");
    EXPECT_EQ(SideConnection(path_).Integer("SELECT count(*) FROM messages WHERE score_state < 0"),
              4);
  }
  StoreHost host(path_, kWait);
  score_folder(host);
  host.HostCloseFolder();
  EXPECT_EQ(host.LastFailure(), "");
  EXPECT_EQ(SideConnection(path_).Integer("SELECT count(*) FROM messages WHERE hits = 8"), 2);
}

// A disk that fills up while scores are written: each batch is rolled back whole, every
// message stays unscored, and the host says so. Once the store is open, the child may write no
// file beyond 4 KB, which the write-ahead log needs for its first page of scores.
TEST_F(StoreHostTest, FullDiskIsAFailureAndLeavesEveryMessageUnscored) {
  {
    SideConnection side(path_);
    side.Execute("BEGIN");
    for (int i = 0; i < 300; ++i) {
      side.Execute("INSERT INTO messages (folder, body) VALUES (2, randomblob(900))");
    }
    side.Execute("COMMIT");
  }
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  const int status = RunInChild([this, &pipe_ends] {
    StoreHost host(path_);
    if (host.HostOpenUserList(0, 0, "*") == 0) return 2;
    if (host.HostOpenFolder("sato", kSent.c_str(), 0, "") == 0) return 3;
    auto record = std::make_unique<MessageRecord>();
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
    const rlimit limit{4096, 4096};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 1;
    while (host.HostNextMessage(record.get(), 0) != 0) host.HostStoreScore(1, 1);
    host.HostDetach();
    const std::string& failure = host.LastFailure();
    return write(pipe_ends[1], failure.data(), failure.size()) ==
                   static_cast<ssize_t>(failure.size())
               ? 0
               : 4;
  });
  close(pipe_ends[1]);
  char buffer[512] = {};
  const ssize_t got = read(pipe_ends[0], buffer, sizeof buffer - 1);
  close(pipe_ends[0]);
  ASSERT_EQ(status, 0);
  // "N scores not written to the store PATH: REASON; ...", N being the first batch's size, and
  // REASON SQLite's ("database or disk is full", or an I/O error for a file past its limit).
  const std::string failure(buffer, static_cast<size_t>(std::max<ssize_t>(got, 0)));
  const size_t count_end = failure.find(' ');
  ASSERT_NE(count_end, std::string::npos) << failure;
  EXPECT_GT(std::atoi(failure.substr(0, count_end).c_str()), 0) << failure;
  const std::string middle = " scores not written to the store " + path_ + ": ";
  EXPECT_EQ(failure.substr(count_end, middle.size()), middle) << failure;
  const std::string end = "; those messages stay unscored for the next run";
  EXPECT_GT(failure.size(), count_end + middle.size() + end.size()) << failure;
  EXPECT_EQ(failure.substr(failure.size() - std::min(failure.size(), end.size())), end) << failure;
  SideConnection side(path_);
  EXPECT_EQ(side.Bytes("PRAGMA integrity_check"), "ok");
  EXPECT_EQ(side.Integer("SELECT count(*) FROM messages WHERE folder = 2 AND score_state < 0"),
            300);
}

// A score is written only to the row that still holds what was delivered: a message rewritten
// in between stays unscored, and of two runs over the same message only the first to write
// scores it. A long TEXT body, read through its blob, is checked the same way and scored.
TEST_F(StoreHostTest, ScoresOnlyWhatTheRowStillHolds) {
  std::string long_body;
  while (long_body.size() < 50000) long_body += "abc ";
  SideConnection side(path_);
  side.Execute("INSERT INTO messages (position, folder, body) VALUES (8, 1, '" + long_body + "')");
  side.Execute("INSERT INTO messages (position, folder, body) VALUES (10, 1, 'same')");
  StoreHost first(path_);
  StoreHost second(path_);
  for (StoreHost* host : {&first, &second}) {
    Walk(*host);
    ASSERT_NE(host->HostOpenFolder("yamada", kSent.c_str(), 0, ""), 0);
    ASSERT_NE(host->HostNextMessage(message_.get(), 0), 0);  // position 3, scored before
  }
  // Position 7: the second run reads it too, and writes after the first.
  ASSERT_NE(first.HostNextMessage(message_.get(), 0), 0);
  ASSERT_NE(second.HostNextMessage(message_.get(), 0), 0);
  first.HostStoreScore(1, 10);
  second.HostStoreScore(2, 20);
  // Position 8: delivered, then rewritten with a new body before its score is written.
  ASSERT_NE(first.HostNextMessage(message_.get(), 0), 0);
  first.HostStoreScore(3, 30);
  side.Execute("UPDATE messages SET body = 'new text' WHERE position = 8");
  // Position 10: rewritten with the same text, which leaves it as delivered.
  ASSERT_NE(first.HostNextMessage(message_.get(), 0), 0);
  first.HostStoreScore(4, 40);
  side.Execute("UPDATE messages SET body = 'same' WHERE position = 10");
  first.HostCloseFolder();
  second.HostCloseFolder();
  EXPECT_EQ(side.Integer("SELECT hits FROM messages WHERE position = 7"), 1);
  EXPECT_EQ(side.Bytes("SELECT quote(hits) || score_state FROM messages WHERE position = 8"),
            "NULL-1");
  EXPECT_EQ(side.Integer("SELECT hits FROM messages WHERE position = 10"), 4);
  EXPECT_EQ(first.LastFailure(), "");  // a rewritten message is no failure of the host
  EXPECT_EQ(second.LastFailure(), "");

  // The long TEXT body, read only in part, is scored when left alone.
  side.Execute("UPDATE messages SET body = '" + long_body + "' WHERE position = 8");
  StoreHost third(path_);
  Walk(third);
  ASSERT_NE(third.HostOpenFolder("yamada", kSent.c_str(), 0, ""), 0);
  while (third.HostNextMessage(message_.get(), 0) != 0) {
    if (message_->ScoreState() < 0) third.HostStoreScore(5, 50);
  }
  third.HostCloseFolder();
  EXPECT_EQ(side.Integer("SELECT hits FROM messages WHERE position = 8"), 5);
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

// The built library, loaded as the program loads it: one exported lookup entry, ten numbers,
// and the failure operation by its name.
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
  // The optional failure operation, by its name: nothing failed so far.
  const auto last_failure =
      reinterpret_cast<HostLastFailureProc>(dlsym(library, kHostLastFailureSymbol));
  ASSERT_NE(last_failure, nullptr);
  char buffer[256];
  EXPECT_EQ(last_failure(buffer, sizeof buffer), 0);
  // A store that cannot be used is the process's first failure, and stays so.
  const std::string missing = dir_.File("missing.sqlite");
  setenv(kStoreEnvironmentVariable, missing.c_str(), 1);
  attach(0, "orLexmon");
  EXPECT_EQ(open_list(0, 0, "*"), 0);
  detach();
  setenv(kStoreEnvironmentVariable, dir_.File("garbage").c_str(), 1);
  EXPECT_EQ(open_list(0, 0, "*"), 0);
  EXPECT_NE(last_failure(buffer, sizeof buffer), 0);
  EXPECT_EQ(std::string(buffer), "the store " + missing + " cannot be used: it does not exist");
  unsetenv(kStoreEnvironmentVariable);
  dlclose(library);
  SideConnection side(path_);
  EXPECT_EQ(side.Integer("SELECT points FROM messages WHERE position = 7 AND hits = 3"), 9);
}

}  // namespace
