// The bundled host: the ten host operations over the SQLite store (store.h).
//
// The host library (host_exports.cpp) keeps one StoreHost for the process and hands out its
// operations by number; tests make their own over a temporary store.
//
// Workload: a check run delivers every message of every folder once, in `position` order, and
// stores a score for most of them. Reads step one cursor per folder. Scores are kept in memory
// and written in one short transaction at the end of each batch window (kMaxBatchStores scores
// or kMaxBatchAge, whichever comes first), and always when a folder or the user list is closed
// and at detach. Invariants:
//   1. A score is either committed with its message's hits and points or not at all, so a
//      killed process leaves each message scored right or still unscored.
//   2. The write lock is held only while a batch is written, never between the caller's calls:
//      other processes' writers find it free most of the time.
//   3. The copy of the write-ahead log into the database file (a checkpoint, with its fsync)
//      runs on a thread of its own (wal_checkpointer.h), never on the caller's.
//   4. The message cursor lives inside one batch window only: it is reset before a batch is
//      written, and re-opened after the last delivered position. So no read snapshot is held for
//      long, and a batch's BEGIN IMMEDIATE never starts from a stale snapshot.
// Not thread-safe: one thread calls it, as with the real host.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/host_records.h"
#include "orvanhost/wal_checkpointer.h"

class StoreHost {
 public:
  static constexpr size_t kMaxBatchStores = 4096;                // scores per transaction at most
  static constexpr std::chrono::milliseconds kMaxBatchAge{100};  // a batch window's length
  // The body field holds at most this many bytes of text, and a NUL.
  static constexpr size_t kMaxBodyText = 32767;
  static_assert(kMaxBodyText < MessageRecord::kBodySize);

  // `store_path` empty: the store is found with DefaultStorePath() whenever it is opened.
  explicit StoreHost(std::string store_path = {});
  ~StoreHost();  // writes what is pending, as HostDetach does
  StoreHost(const StoreHost&) = delete;
  StoreHost& operator=(const StoreHost&) = delete;

  // Remembers the program's name. Always succeeds.
  int32_t HostAttach(int32_t zero, const char* program);
  // Opens the store and starts the user list before its first user. Zero when the store cannot
  // be opened or lacks its tables. The pattern is not looked at.
  int32_t HostOpenUserList(int32_t zero1, int32_t zero2, const char* pattern);
  // Fills the name and kind of the next user in `position` order; zero when none is left or the
  // list is not open. Nothing else of `record` is written.
  int32_t HostNextUser(UserRecord* record, int32_t one);
  // Opens the folder `folder` (null: the board's own folder, name NULL) of the user whose name
  // is the bytes of `user`, closing a folder still open. Zero when either does not exist or the
  // store cannot be opened. `kind` is not looked at.
  int32_t HostOpenFolder(const char* user, const char* folder, int32_t zero, const char* kind);
  // Fills title, destination, score state, stored points and body of the open folder's next
  // message in `position` order, and nothing else; zero when none is left or no folder is open.
  int32_t HostNextMessage(MessageRecord* record, int32_t zero);
  // Stores hits and points for the last delivered message and marks it scored (score_state 0),
  // with the batch. Zero when no message was delivered. A batch that cannot be written (the
  // store stays locked past its busy timeout) is tried again with the next; the messages of one
  // that still fails when the folder closes stay unscored.
  int32_t HostStoreScore(int32_t hits, int32_t points);
  // Ends the current message: writes the batch when its window is over.
  int32_t HostFinishMessage();
  // Writes the pending scores and closes the open folder.
  int32_t HostCloseFolder();
  // Writes the pending scores and closes the user list.
  int32_t HostCloseUserList();
  // Closes what is open, writes the pending scores, and closes the store.
  int32_t HostDetach();

 private:
  [[nodiscard]] bool EnsureOpen();
  void CloseStoreIfIdle();
  void CloseStore();
  void ResetCursor();
  // Writes the pending scores in one transaction; false (scores kept) when it cannot.
  bool WriteBatch();
  // Writes the pending scores; what cannot be written is given up (the messages stay unscored).
  void WriteBatchOrDrop();
  void EndBatchWindowIfOver();

  struct PendingScore {
    int64_t position;  // the message
    int32_t hits;      // its hits
    int32_t points;    // its points
  };

  std::string store_path_;                         // as given; empty: DefaultStorePath()
  std::string program_;                            // the name HostAttach was given
  sqlite3* db_ = nullptr;                          // the store, open while a list or folder is open
  std::unique_ptr<WalCheckpointer> checkpointer_;  // while db_ is open
  sqlite3_stmt* next_user_ = nullptr;              // the user after a position
  sqlite3_stmt* find_user_ = nullptr;              // a user's position by name
  sqlite3_stmt* find_folder_ = nullptr;            // a folder's id by user and name (or NULL)
  sqlite3_stmt* messages_ = nullptr;               // the folder's messages after a position
  sqlite3_stmt* store_score_ = nullptr;            // writes one score
  sqlite3_stmt* begin_ = nullptr;                  // BEGIN IMMEDIATE
  sqlite3_stmt* commit_ = nullptr;                 // COMMIT
  bool list_open_ = false;                         // HostOpenUserList succeeded, not closed since
  int64_t last_user_ = 0;                          // position of the last delivered user
  bool folder_open_ = false;                       // HostOpenFolder succeeded, not closed since
  int64_t folder_ = 0;                             // id of the open folder
  int64_t last_message_ = 0;                       // position of the last delivered message
  bool delivered_ = false;                         // last_message_ names a delivered message
  bool cursor_active_ = false;                     // messages_ is bound and stepping
  std::vector<PendingScore> pending_;              // scores not written yet, in store order
  bool window_open_ = false;                       // a batch window runs (cursor or scores pending)
  std::chrono::steady_clock::time_point window_start_;  // when the batch window began
};
