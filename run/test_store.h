// Test and benchmark helper: builds and reads a bundled-host store with plain SQL, through the
// store's public schema only, as any outside script would.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "testing/test_util.h"

namespace test_store {

// The store's public tables.
inline constexpr char kSchemaSql[] = R"sql(
CREATE TABLE users (
  position INTEGER PRIMARY KEY,
  name     BLOB NOT NULL UNIQUE,
  kind     BLOB NOT NULL DEFAULT x''
);
CREATE TABLE folders (
  id       INTEGER PRIMARY KEY,
  user     INTEGER NOT NULL REFERENCES users(position),
  name     BLOB,
  UNIQUE (user, name)
);
CREATE TABLE messages (
  position    INTEGER PRIMARY KEY,
  folder      INTEGER NOT NULL REFERENCES folders(id),
  title       BLOB NOT NULL DEFAULT x'',
  destination BLOB NOT NULL DEFAULT x'',
  body        BLOB NOT NULL DEFAULT x'',
  score_state INTEGER NOT NULL DEFAULT -1,
  points      INTEGER NOT NULL DEFAULT 0,
  hits        INTEGER
);
CREATE INDEX messages_by_folder ON messages(folder);
)sql";

// The code-page-932 bytes of a UTF-8 text (test sources are written in UTF-8).
using test_util::Sjis;

// One message row's score columns.
struct ScoreRow {
  int64_t position;             // messages.position
  int64_t folder;               // messages.folder
  int32_t state;                // score_state
  int32_t points;               // points
  std::optional<int32_t> hits;  // hits; empty for NULL
  friend bool operator==(const ScoreRow&, const ScoreRow&) = default;
};

class Store {
 public:
  // Opens the store at `path`; with `create`, makes it and its tables first.
  Store(const std::string& path, bool create) {
    if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK) Fail("open " + path);
    sqlite3_busy_timeout(m_db, 10000);
    if (create) Exec(kSchemaSql);
  }
  ~Store() { sqlite3_close(m_db); }
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  void Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
      std::string text = message != nullptr ? message : "?";
      sqlite3_free(message);
      throw std::runtime_error(std::string("SQL failed: ") + text + " in " + sql);
    }
  }
  void Begin() { Exec("BEGIN"); }
  void Commit() { Exec("COMMIT"); }

  int64_t AddUser(std::string_view name, std::string_view kind = {}) {
    Statement s(*this, "INSERT INTO users(name, kind) VALUES(?, ?)");
    s.Blob(1, name).Blob(2, kind).Done();
    return sqlite3_last_insert_rowid(m_db);
  }
  // A folder of `user`; a null name is a board's own folder.
  int64_t AddFolder(int64_t user, const std::string_view* name) {
    Statement s(*this, "INSERT INTO folders(user, name) VALUES(?, ?)");
    s.Int(1, user);
    if (name != nullptr) s.Blob(2, *name);
    s.Done();
    return sqlite3_last_insert_rowid(m_db);
  }
  int64_t AddMessage(int64_t folder, std::string_view title, std::string_view destination,
                     std::string_view body, int32_t state = -1, int32_t points = 0,
                     std::optional<int32_t> hits = std::nullopt) {
    Statement s(*this,
                "INSERT INTO messages(folder, title, destination, body, score_state, points, "
                "hits) VALUES(?, ?, ?, ?, ?, ?, ?)");
    s.Int(1, folder).Blob(2, title).Blob(3, destination).Blob(4, body).Int(5, state).Int(6, points);
    if (hits) s.Int(7, *hits);
    s.Done();
    return sqlite3_last_insert_rowid(m_db);
  }

  // Every message's score columns, by position.
  std::vector<ScoreRow> Scores() {
    Statement s(*this,
                "SELECT position, folder, score_state, points, hits FROM messages ORDER BY "
                "position");
    std::vector<ScoreRow> rows;
    while (sqlite3_step(s.get()) == SQLITE_ROW) {
      ScoreRow row{sqlite3_column_int64(s.get(), 0), sqlite3_column_int64(s.get(), 1),
                   sqlite3_column_int(s.get(), 2), sqlite3_column_int(s.get(), 3), std::nullopt};
      if (sqlite3_column_type(s.get(), 4) != SQLITE_NULL) row.hits = sqlite3_column_int(s.get(), 4);
      rows.push_back(row);
    }
    return rows;
  }

  // Every row of the three tables as text, for comparing two stores.
  std::string Dump() {
    std::string out;
    for (const char* sql :
         {"SELECT position, hex(name), hex(kind) FROM users ORDER BY position",
          "SELECT id, user, quote(name) FROM folders ORDER BY id",
          "SELECT position, folder, hex(title), hex(destination), length(body), hex(body), "
          "score_state, points, quote(hits) FROM messages ORDER BY position"}) {
      Statement s(*this, sql);
      while (sqlite3_step(s.get()) == SQLITE_ROW) {
        for (int i = 0; i < sqlite3_column_count(s.get()); ++i) {
          const unsigned char* text = sqlite3_column_text(s.get(), i);
          out += text != nullptr ? reinterpret_cast<const char*>(text) : "NULL";
          out += '|';
        }
        out += '\n';
      }
      out += "--\n";
    }
    return out;
  }

  sqlite3* db() { return m_db; }

 private:
  class Statement {
   public:
    Statement(Store& store, const char* sql) {
      if (sqlite3_prepare_v2(store.m_db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
        store.Fail(sql);
      }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement& Blob(int i, std::string_view bytes) {
      if (bytes.empty()) {  // a null pointer would bind NULL
        sqlite3_bind_zeroblob(m_stmt, i, 0);
        return *this;
      }
      sqlite3_bind_blob(m_stmt, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
      return *this;
    }
    Statement& Int(int i, int64_t value) {
      sqlite3_bind_int64(m_stmt, i, value);
      return *this;
    }
    void Done() {
      if (sqlite3_step(m_stmt) != SQLITE_DONE) throw std::runtime_error("SQL step failed");
    }
    sqlite3_stmt* get() { return m_stmt; }

   private:
    sqlite3_stmt* m_stmt = nullptr;  // the prepared statement
  };

  [[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("SQLite: " + what + ": " + sqlite3_errmsg(m_db));
  }

  sqlite3* m_db = nullptr;  // the connection
};

}  // namespace test_store
