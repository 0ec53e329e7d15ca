// The bundled host: the ten host operations over the SQLite store (store.h), and the optional
// failure operation.
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
//   4. The message cursor, and every blob handle, lives inside one batch window only: it is
//      reset before a batch is written, and re-opened after the last delivered position. So no
//      read snapshot is held for long, and a batch's BEGIN IMMEDIATE never starts from a stale
//      snapshot.
//   5. A score is written only to a row that is still unscored and still holds exactly the
//      texts that were delivered. Inside the write transaction, the store's data version tells
//      whether any other connection has committed since the row was read; only then is the row
//      read again and its texts' digests compared with those taken at delivery. A message
//      rewritten after it was delivered stays unscored for the next run, and of two runs at once
//      only the first to write scores a message.
//   6. Nothing fails in silence. The first failure of the host (a store that cannot be used, a
//      read error, scores that could not be written and why) is kept and handed out by
//      HostLastFailure. A read error ends a list like its end does, but is such a failure.
//   7. Opening the store writes nothing. It is switched to WAL mode, when it is not in it
//      already, just before the first batch is written: a run that stores no score leaves the
//      file as it was.
//   8. Memory does not grow with the store's texts: a text longer than its field is read only
//      as far as the field holds (incremental blob I/O), never loaded whole.
// Not thread-safe: one thread calls it, as with the real host.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/host_records.h"
#include "orvanhost/store.h"
#include "orvanhost/wal_checkpointer.h"

class StoreHost {
 public:
  static constexpr size_t kMaxBatchStores = 4096;                // scores per transaction at most
  static constexpr std::chrono::milliseconds kMaxBatchAge{100};  // a batch window's length
  // The body field holds at most this many bytes of text, and a NUL.
  static constexpr size_t kMaxBodyText = 32767;
  static_assert(kMaxBodyText < MessageRecord::kBodySize);

  // `store_path` empty: the store is found with DefaultStorePath() whenever it is opened.
  // `lock_wait`: how long a statement waits for another process's lock (tests shorten it).
  explicit StoreHost(std::string store_path = {},
                     std::chrono::milliseconds lock_wait = kStoreLockWait);
  ~StoreHost();  // writes what is pending, as HostDetach does
  StoreHost(const StoreHost&) = delete;
  StoreHost& operator=(const StoreHost&) = delete;

  // Remembers the program's name. Always succeeds.
  int32_t HostAttach(int32_t zero, const char* program);
  // Opens the store and starts the user list before its first user. Zero, and a failure, when
  // the store is missing, is no database, lacks its tables or is read-only. The pattern is not
  // looked at.
  int32_t HostOpenUserList(int32_t zero1, int32_t zero2, const char* pattern);
  // Fills the name and kind of the next user in `position` order; zero when none is left, the
  // list is not open, or the store cannot be read (a failure). Nothing else of `record` is
  // written.
  int32_t HostNextUser(UserRecord* record, int32_t one);
  // Opens the folder `folder` (null: the board's own folder, name NULL) of the user that
  // HostNextUser delivered last when `user` is that user's name, else of the first user (in
  // `position` order) whose name is the bytes of `user`; closes a folder still open first. Zero
  // when either does not exist, or the store cannot be opened or read (a failure). `kind` is not
  // looked at.
  int32_t HostOpenFolder(const char* user, const char* folder, int32_t zero, const char* kind);
  // Fills title, destination, score state, stored points and body of the open folder's next
  // message in `position` order, and nothing else; zero when none is left, no folder is open,
  // or the store cannot be read (a failure).
  int32_t HostNextMessage(MessageRecord* record, int32_t zero);
  // Stores hits and points for the last delivered message and marks it scored (score_state 0),
  // with the batch, if its row is then still unscored and holds what was delivered
  // (invariant 5). Zero when no message was delivered. A batch window that ends while another
  // process holds the store's lock keeps its scores for the next one; a full batch, and the
  // batch written when a folder or the list closes, waits up to the lock wait for the lock.
  // Scores that still cannot be written are given up, their messages stay unscored, and the
  // host records a failure saying how many and why.
  int32_t HostStoreScore(int32_t hits, int32_t points);
  // Ends the current message: writes the batch when its window is over.
  int32_t HostFinishMessage();
  // Writes the pending scores and closes the open folder.
  int32_t HostCloseFolder();
  // Writes the pending scores and closes the user list.
  int32_t HostCloseUserList();
  // Closes what is open, writes the pending scores, and closes the store.
  int32_t HostDetach();

  // The optional failure operation: 0 when the host recorded no failure since its
  // construction; else 1, with the first failure written into `buffer` as one line of UTF-8,
  // NUL-terminated and cut (at a character boundary) to fit `size` bytes.
  int32_t HostLastFailure(char* buffer, int32_t size) const;
  // The first failure as one line; empty when none.
  [[nodiscard]] const std::string& LastFailure() const { return failure_; }

  // One text column read without loading a long value whole (store_host.cpp).
  class TextColumn;

 private:
  // A score waiting for its batch.
  struct PendingScore {
    int64_t position;  // the message
    int32_t hits;      // its hits
    int32_t points;    // its points
    uint64_t digest;   // the digest of its texts as delivered
    uint64_t check;    // a second, independent digest of the same texts
    int64_t version;   // the store's data version when the row was read
  };
  enum class WriteResult { kWritten, kBusy, kFailed };

  [[nodiscard]] bool EnsureOpen();
  void CloseStoreIfIdle();
  void CloseStore();
  void ResetCursor();
  void CloseBlobs();
  // Records `text` as the host's failure unless one is recorded already.
  void Fail(std::string text);
  // Records a read error of `what` with SQLite's message.
  void FailRead(const char* what);
  // PRAGMA data_version: it changes when another connection has committed since this one last
  // began to read. -1 when it cannot be read.
  int64_t DataVersion();
  // Reads the message row that `statement` stands on (the columns of kMessageColumns) into
  // `record`: SQLITE_OK, or the error that stopped it.
  int ReadMessage(sqlite3_stmt* statement, MessageRecord* record);
  // Writes the pending scores in one transaction (invariant 5). `wait`: wait up to lock_wait_
  // for another process's lock; else a locked store gives kBusy at once. kFailed stores the
  // reason in `*reason`. Pending scores stay pending unless kWritten.
  WriteResult WriteBatch(bool wait, std::string* reason);
  // Writes the pending scores and ends the batch window. Scores that cannot be written are
  // given up and recorded as the host's failure; only a locked store without `wait` keeps them
  // pending.
  void FlushBatch(bool wait);
  void EndBatchWindowIfOver();

  std::string store_path_;                         // as given; empty: DefaultStorePath()
  std::string path_;                               // the store that is open, or was last tried
  std::chrono::milliseconds lock_wait_;            // the busy timeout
  std::string program_;                            // the name HostAttach was given
  std::string failure_;                            // the first failure, or empty
  sqlite3* db_ = nullptr;                          // the store, open while a list or folder is open
  std::unique_ptr<WalCheckpointer> checkpointer_;  // while db_ is open
  sqlite3_stmt* next_user_ = nullptr;              // the user after a position
  sqlite3_stmt* find_user_ = nullptr;              // a user's position by name
  sqlite3_stmt* find_folder_ = nullptr;            // a folder's id by user and name (or NULL)
  sqlite3_stmt* messages_ = nullptr;               // the folder's messages after a position
  sqlite3_stmt* message_ = nullptr;                // one message by position
  sqlite3_stmt* store_score_ = nullptr;            // writes one score
  sqlite3_stmt* version_ = nullptr;                // PRAGMA data_version
  sqlite3_stmt* begin_ = nullptr;                  // BEGIN IMMEDIATE
  sqlite3_stmt* commit_ = nullptr;                 // COMMIT
  std::vector<std::unique_ptr<TextColumn>> texts_;  // user name, kind; title, destination, body
  std::vector<char> scratch_;                       // a long text's first bytes, read from its blob
  std::unique_ptr<MessageRecord> check_record_;     // a row re-read before its score is written
  bool list_open_ = false;                         // HostOpenUserList succeeded, not closed since
  int64_t last_user_ = 0;                          // position of the last delivered user
  bool user_delivered_ = false;                    // last_user_ names a delivered user
  std::string last_user_name_;                     // that user's name, as delivered
  bool folder_open_ = false;                       // HostOpenFolder succeeded, not closed since
  int64_t folder_ = 0;                             // id of the open folder
  int64_t last_message_ = 0;                       // position of the last delivered message
  bool delivered_ = false;                         // last_message_ names a delivered message
  uint64_t last_digest_ = 0;                       // the digest of its texts as delivered
  uint64_t last_check_ = 0;                        // and the second digest
  bool wal_ = false;                               // the store is known to be in WAL mode
  bool cursor_active_ = false;                     // messages_ is bound and stepping
  bool snapshot_versioned_ = false;                // read_version_ is the cursor's snapshot's
  int64_t read_version_ = -1;                      // the data version of the cursor's snapshot
  std::vector<PendingScore> pending_;              // scores not written yet, in store order
  bool window_open_ = false;                       // a batch window runs (cursor or scores pending)
  std::chrono::steady_clock::time_point window_start_;  // when the batch window began
};
