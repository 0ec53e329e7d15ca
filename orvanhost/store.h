// The bundled host's store: one SQLite database file whose schema is its public format.
//
// Both the host library and the admin tool `orvan-host` open the store through here, so that
// they agree on where it lives, how it is opened (a long busy timeout, nothing written on
// opening) and what it holds. The
// store is written by scripts and tools with plain SQL as well, so every text column is read as
// bytes whether it holds a BLOB or a TEXT value.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <string>
#include <string_view>

// The store's tables, exactly as its readers and writers rely on them. Further indexes and
// PRAGMA user_version come on top (kStoreIndexesSql).
inline constexpr const char kStoreSchemaSql[] = R"sql(
CREATE TABLE users (
  position INTEGER PRIMARY KEY,          -- order in which the user list delivers users
  name     BLOB NOT NULL UNIQUE,         -- code-page-932 bytes, no NUL
  kind     BLOB NOT NULL DEFAULT x''     -- account kind; the code-page-932 bytes of 掲示板 mark a board
);
CREATE TABLE folders (
  id       INTEGER PRIMARY KEY,
  user     INTEGER NOT NULL REFERENCES users(position),
  name     BLOB,                         -- folder name in code page 932; NULL is a board's own folder
  UNIQUE (user, name)
);
CREATE TABLE messages (
  position    INTEGER PRIMARY KEY,       -- delivery order within its folder
  folder      INTEGER NOT NULL REFERENCES folders(id),
  title       BLOB NOT NULL DEFAULT x'',
  destination BLOB NOT NULL DEFAULT x'',
  body        BLOB NOT NULL DEFAULT x'',
  score_state INTEGER NOT NULL DEFAULT -1,  -- negative until the message is scored
  points      INTEGER NOT NULL DEFAULT 0,   -- stored points
  hits        INTEGER                       -- stored hits; NULL until scored
);
)sql";
inline constexpr const char kStoreIndexesSql[] =
    "CREATE INDEX messages_by_folder ON messages(folder);\n"
    "PRAGMA user_version = 1;\n";

// The store's file name when ORVAN_STORE does not name one.
inline constexpr char kStoreFileName[] = "orvan.sqlite";
// The environment variable that names the store.
inline constexpr char kStoreEnvironmentVariable[] = "ORVAN_STORE";
// How long a statement waits for another process's lock before it gives up. A check run is a
// batch job: it can wait a minute for a script's transaction rather than lose its scores.
inline constexpr std::chrono::milliseconds kStoreLockWait{60000};

// Code-page-932 texts that the store gives a meaning to.
inline constexpr std::string_view kBoardKind = "\x8C\x66\x8E\xA6\x94\xC2";  // 掲示板
inline constexpr std::string_view kSentFolderName =                         // 送信済みトレイ
    "\x91\x97\x90\x4D\x8D\xCF\x82\xDD\x83\x67\x83\x8C\x83\x43";

// The directory of the running executable (from /proc/self/exe), without a trailing slash;
// empty when it cannot be had.
[[nodiscard]] std::string ExecutableDirectory();

// The store that the host library uses: $ORVAN_STORE when set and not empty, else
// kStoreFileName in the running executable's directory.
[[nodiscard]] std::string DefaultStorePath();

// How a store is opened.
enum class StoreAccess {
  kRead,    // read only: nothing of the file changes, and a write-protected store opens
  kWrite,   // read and write an existing store; its journal mode stays as it is
  kCreate,  // read and write, the file made when missing, and switched to WAL mode
};

// Whether a file exists at `path`, a UTF-8 name as SQLite takes them on every platform.
[[nodiscard]] bool StoreFileExists(const std::string& path);

// Opens the store at `path` with `access`, with `lock_wait` as the busy timeout. Opening
// writes nothing: only kCreate makes a file or changes its journal mode. A connection to a
// store in WAL mode runs with synchronous=NORMAL (a killed process loses no committed
// transaction; a power cut may lose the last few, never the store's consistency), any other
// with SQLite's default, FULL. On success stores the connection in `*db` (the caller closes it
// with sqlite3_close) and returns true. On failure stores null in `*db`, a one-line reason in
// `*error`, returns false.
[[nodiscard]] bool OpenStore(const std::string& path, StoreAccess access, sqlite3** db,
                             std::string* error,
                             std::chrono::milliseconds lock_wait = kStoreLockWait);

// Switches the store to WAL mode unless it is in it already; then sets synchronous=NORMAL.
// Returns false with a reason in `*error` when the switch fails (the store stays as it was).
[[nodiscard]] bool SwitchStoreToWal(sqlite3* db, std::string* error);

// Creates the tables and indexes in an empty store. Returns false with a reason in `*error`.
[[nodiscard]] bool CreateStoreSchema(sqlite3* db, std::string* error);

// True when `db` holds the three tables (it does not check their columns). Reads only. When
// false, `*error` says why: the tables are missing, or the file cannot be read.
[[nodiscard]] bool StoreHasSchema(sqlite3* db, std::string* error);
