// The ten host operations over the SQLite store. HostNextMessage, HostStoreScore and
// HostFinishMessage run once per message of a check run, so they prepare nothing, allocate
// nothing and copy each text once, straight from SQLite's row into the record. Only a text that
// is longer than its field, or stored as TEXT, takes the slower road through a blob handle,
// which reads no more of it than the field holds.
#include "orvanhost/store_host.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "orvanhost/text_field.h"

namespace {

constexpr const char kFindUserSql[] =
    "SELECT position FROM users WHERE name = ?1 OR name = CAST(?1 AS TEXT) "
    "ORDER BY position LIMIT 1";
// Scripts may write names as TEXT; a name matches when its bytes are equal either way.
constexpr const char kFindFolderSql[] =
    "SELECT id FROM folders WHERE user = ?1 AND "
    "CASE WHEN ?2 IS NULL THEN name IS NULL ELSE name = ?2 OR name = CAST(?2 AS TEXT) END "
    "ORDER BY id LIMIT 1";
constexpr const char kStoreScoreSql[] =
    "UPDATE messages SET score_state = 0, hits = ?1, points = ?2 "
    "WHERE position = ?3 AND score_state < 0";

// The texts the host reads, in the order of StoreHost::texts_.
enum TextIndex : size_t { kUserName, kUserKind, kTitle, kDestination, kBody, kTextCount };

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

void BindText(sqlite3_stmt* statement, int index, const char* text) {
  if (text == nullptr) {
    sqlite3_bind_null(statement, index);
  } else {
    sqlite3_bind_blob(statement, index, text, static_cast<int>(std::strlen(text)),
                      SQLITE_TRANSIENT);
  }
}

// Two independent 64-bit digests of the texts that a message was delivered with. They are
// compared with the row's texts just before its score is written, so that a score never lands
// on a rewritten message; they are made to notice a change, not to resist an adversary.
class TextDigest {
 public:
  void Add(const char* bytes, size_t length) {
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
      uint64_t word;
      std::memcpy(&word, bytes + i, 8);
      Word(word);
    }
    uint64_t tail = 0;
    std::memcpy(&tail, bytes + i, length - i);
    Word(tail);
    Word(length);  // so that bytes moved from one text to the next change the digests
  }
  uint64_t First() const { return Finish(a_); }
  uint64_t Second() const { return Finish(b_); }

 private:
  void Word(uint64_t word) {
    a_ = Rotate((a_ ^ word) * 0x87C37B91114253D5u, 31) * 5 + 0x52DCE729u;
    b_ = Rotate((b_ + word) * 0x4CF5AD432745937Fu, 33) ^ (b_ >> 29);
  }
  static uint64_t Rotate(uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }
  static uint64_t Finish(uint64_t x) {
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDu;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53u;
    return x ^ (x >> 33);
  }

  uint64_t a_ = 0x9E3779B97F4A7C15u;  // first lane
  uint64_t b_ = 0xC2B2AE3D27D4EB4Fu;  // second lane
};

// The failure texts name the store; a path is one line in them.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

// One text column, read into its record field without loading a long value whole. It is
// selected as one result column, its value when that may be taken from the row (a number, or a
// BLOB that fits its field). A TEXT value (whose byte length SQLite would have to load it to
// tell) and a long BLOB are read through a blob handle, only as far as the field holds.
class StoreHost::TextColumn {
 public:
  // `max_bytes`: the most text bytes the field can take.
  TextColumn(const char* table, const char* column, size_t max_bytes)
      : table_(table), column_(column), max_bytes_(max_bytes) {}
  ~TextColumn() { Close(); }
  TextColumn(const TextColumn&) = delete;
  TextColumn& operator=(const TextColumn&) = delete;

  // The result column that selects it: the value when it may be taken from the row (a number,
  // or a BLOB that fits the field), an empty BLOB for NULL, and NULL when it is to be read
  // through a blob handle (TEXT, or a longer BLOB). typeof() is called once, and length() reads
  // only a BLOB's size, never its bytes.
  std::string Sql() const {
    const std::string c = column_;
    return "CASE typeof(" + c + ") WHEN 'blob' THEN CASE WHEN length(" + c +
           ") <= " + std::to_string(max_bytes_) + " THEN " + c + " END WHEN 'text' THEN NULL " +
           "ELSE coalesce(" + c + ", x'') END";
  }

  // Copies the text of the row that `statement` stands on (its column `column`; the row's
  // rowid is `rowid`) into `field` with CopyTextField's cut. Returns SQLITE_OK or the error of
  // the blob handle, with SQLite's message in `db`.
  int Read(sqlite3* db, sqlite3_stmt* statement, int column, int64_t rowid, char* field,
           size_t field_size, size_t max_text, std::vector<char>& scratch) {
    if (sqlite3_column_type(statement, column) != SQLITE_NULL) {
      const void* bytes = sqlite3_column_blob(statement, column);
      const int length = sqlite3_column_bytes(statement, column);
      if (bytes == nullptr || length <= 0) {
        field[0] = '\0';
      } else {
        CopyTextField(field, field_size, static_cast<const char*>(bytes),
                      static_cast<size_t>(length), max_text);
      }
      return SQLITE_OK;
    }
    int rc = blob_ == nullptr ? sqlite3_blob_open(db, "main", table_, column_, rowid, 0, &blob_)
                              : sqlite3_blob_reopen(blob_, rowid);
    if (rc != SQLITE_OK) {
      Close();
      return rc;
    }
    // One byte more than the field takes tells the cut that the text goes on (a character may
    // not be split at the field's end).
    const size_t length = std::min(static_cast<size_t>(sqlite3_blob_bytes(blob_)), max_bytes_ + 1);
    if (scratch.size() < length) scratch.resize(length);
    rc = sqlite3_blob_read(blob_, scratch.data(), static_cast<int>(length), 0);
    if (rc != SQLITE_OK) {
      Close();
      return rc;
    }
    if (length == 0) {
      field[0] = '\0';
    } else {
      CopyTextField(field, field_size, scratch.data(), length, max_text);
    }
    return SQLITE_OK;
  }

  // Closes the blob handle: until then it keeps its read snapshot.
  void Close() {
    sqlite3_blob_close(blob_);
    blob_ = nullptr;
  }

 private:
  const char* table_;             // the table, "users" or "messages"
  const char* column_;            // the column
  size_t max_bytes_;              // the most bytes the field takes
  sqlite3_blob* blob_ = nullptr;  // open on a row of table_.column_, or null
};

StoreHost::StoreHost(std::string store_path, std::chrono::milliseconds lock_wait)
    : store_path_(std::move(store_path)),
      lock_wait_(lock_wait),
      check_record_(std::make_unique<MessageRecord>()) {
  pending_.reserve(kMaxBatchStores);
  const auto text = [this](const char* table, const char* column, size_t field_size,
                           size_t max_text = std::numeric_limits<size_t>::max()) {
    texts_.push_back(
        std::make_unique<TextColumn>(table, column, std::min(field_size - 1, max_text)));
  };
  text("users", "name", UserRecord::kNameSize);
  text("users", "kind", UserRecord::kKindSize);
  text("messages", "title", MessageRecord::kTitleSize);
  text("messages", "destination", MessageRecord::kDestinationSize);
  text("messages", "body", MessageRecord::kBodySize, kMaxBodyText);
}

StoreHost::~StoreHost() { HostDetach(); }

void StoreHost::Fail(std::string text) {
  if (failure_.empty()) failure_ = OneLine(std::move(text));
}

void StoreHost::FailRead(const char* what) {
  Fail(std::string("cannot read ") + what + " of the store " + path_ + ": " + sqlite3_errmsg(db_));
}

int32_t StoreHost::HostLastFailure(char* buffer, int32_t size) const {
  if (failure_.empty()) return 0;
  if (buffer == nullptr || size <= 0) return 1;
  size_t length = std::min(failure_.size(), static_cast<size_t>(size) - 1);
  // Never end inside a UTF-8 sequence: back off over its continuation bytes.
  if (length < failure_.size()) {
    while (length > 0 && (static_cast<unsigned char>(failure_[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(buffer, failure_.data(), length);
  buffer[length] = '\0';
  return 1;
}

int32_t StoreHost::HostAttach(int32_t, const char* program) {
  program_ = program != nullptr ? program : "";
  return 1;
}

bool StoreHost::EnsureOpen() {
  if (db_ != nullptr) return true;
  path_ = store_path_.empty() ? DefaultStorePath() : store_path_;
  const auto unusable = [this](const std::string& reason) {
    Fail("the store " + path_ + " cannot be used: " + reason);
    return false;
  };
  if (!StoreFileExists(path_)) return unusable("it does not exist");
  std::string error;
  if (!OpenStore(path_, StoreAccess::kWrite, &db_, &error, lock_wait_)) return unusable(error);
  if (sqlite3_db_readonly(db_, "main") == 1) {
    CloseStore();
    return unusable("it is read-only, so no score could be stored");
  }
  if (!StoreHasSchema(db_, &error)) {
    CloseStore();
    return unusable(error);
  }
  // Checkpoints run on the checkpointer's thread (invariant 3).
  sqlite3_exec(db_, "PRAGMA wal_autocheckpoint = 0", nullptr, nullptr, nullptr);
  const unsigned flags = SQLITE_PREPARE_PERSISTENT;
  const auto prepare = [&](const std::string& sql, sqlite3_stmt** statement) {
    return sqlite3_prepare_v3(db_, sql.c_str(), -1, flags, statement, nullptr) == SQLITE_OK;
  };
  const std::string message_columns = "SELECT position, score_state, points, " +
                                      texts_[kTitle]->Sql() + ", " + texts_[kDestination]->Sql() +
                                      ", " + texts_[kBody]->Sql() + " FROM messages ";
  if (!prepare("SELECT position, " + texts_[kUserName]->Sql() + ", " + texts_[kUserKind]->Sql() +
                   " FROM users WHERE position > ?1 ORDER BY position LIMIT 1",
               &next_user_) ||
      !prepare(kFindUserSql, &find_user_) || !prepare(kFindFolderSql, &find_folder_) ||
      !prepare(message_columns + "WHERE folder = ?1 AND position > ?2 ORDER BY position",
               &messages_) ||
      !prepare(message_columns + "WHERE position = ?1", &message_) ||
      !prepare(kStoreScoreSql, &store_score_) || !prepare("PRAGMA data_version", &version_) ||
      !prepare("BEGIN IMMEDIATE", &begin_) || !prepare("COMMIT", &commit_)) {
    error = sqlite3_errmsg(db_);  // a table that lacks a column
    CloseStore();
    return unusable(error);
  }
  checkpointer_ = std::make_unique<WalCheckpointer>(path_);
  return true;
}

void StoreHost::CloseStore() {
  ResetCursor();
  if (begin_ != nullptr) FlushBatch(/*wait=*/true);
  CloseBlobs();
  for (sqlite3_stmt** statement : {&next_user_, &find_user_, &find_folder_, &messages_, &message_,
                                   &store_score_, &version_, &begin_, &commit_}) {
    sqlite3_finalize(*statement);
    *statement = nullptr;
  }
  checkpointer_.reset();
  sqlite3_close(db_);  // the last connection to close checkpoints what is left
  db_ = nullptr;
  list_open_ = false;
  folder_open_ = false;
  user_delivered_ = false;
  delivered_ = false;
  wal_ = false;
}

void StoreHost::CloseStoreIfIdle() {
  if (db_ != nullptr && !list_open_ && !folder_open_) CloseStore();
}

void StoreHost::CloseBlobs() {
  for (const std::unique_ptr<TextColumn>& text : texts_) text->Close();
}

void StoreHost::ResetCursor() {
  CloseBlobs();
  if (!cursor_active_) return;
  sqlite3_reset(messages_);
  cursor_active_ = false;
  snapshot_versioned_ = false;
}

int StoreHost::ReadMessage(sqlite3_stmt* statement, MessageRecord* record) {
  const int64_t position = sqlite3_column_int64(statement, 0);
  int rc =
      texts_[kTitle]->Read(db_, statement, 3, position, record->Title(), MessageRecord::kTitleSize,
                           std::numeric_limits<size_t>::max(), scratch_);
  if (rc == SQLITE_OK) {
    rc = texts_[kDestination]->Read(db_, statement, 4, position, record->Destination(),
                                    MessageRecord::kDestinationSize,
                                    std::numeric_limits<size_t>::max(), scratch_);
  }
  if (rc == SQLITE_OK) {
    rc = texts_[kBody]->Read(db_, statement, 5, position, record->Body(), MessageRecord::kBodySize,
                             kMaxBodyText, scratch_);
  }
  return rc;
}

int64_t StoreHost::DataVersion() {
  const int64_t version =
      sqlite3_step(version_) == SQLITE_ROW ? sqlite3_column_int64(version_, 0) : -1;
  sqlite3_reset(version_);
  return version;
}

namespace {

// The digests of a record's three texts as the host filled them.
std::pair<uint64_t, uint64_t> Digests(MessageRecord& record) {
  TextDigest digest;
  for (const char* text : {record.Title(), record.Destination(), record.Body()}) {
    digest.Add(text, std::strlen(text));
  }
  return {digest.First(), digest.Second()};
}

}  // namespace

StoreHost::WriteResult StoreHost::WriteBatch(bool wait, std::string* reason) {
  if (pending_.empty()) return WriteResult::kWritten;
  ResetCursor();  // see invariant 4
  const int lock_wait_ms = static_cast<int>(lock_wait_.count());
  sqlite3_busy_timeout(db_, 0);
  if (!wal_) {
    // Invariant 7: the first write is where WAL mode comes in. A store that cannot switch now
    // (another connection has it open in its old mode) is written in that mode and asked again
    // with the next batch; the switch never waits for a lock.
    std::string ignored;
    wal_ = SwitchStoreToWal(db_, &ignored);
  }
  if (wait) sqlite3_busy_timeout(db_, lock_wait_ms);

  // Ends the transaction that failed with `rc` (its message taken before any reset).
  const auto failed = [&](int rc, std::string message) {
    CloseBlobs();
    if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(db_, lock_wait_ms);
    if (rc == SQLITE_BUSY && !wait) return WriteResult::kBusy;
    *reason = std::move(message);
    if (rc == SQLITE_BUSY) {
      *reason += " (after waiting " +
                 std::to_string(std::chrono::ceil<std::chrono::seconds>(lock_wait_).count()) +
                 " s for the lock)";
    }
    return WriteResult::kFailed;
  };

  int rc = sqlite3_step(begin_);
  if (rc != SQLITE_DONE) {
    std::string message = sqlite3_errmsg(db_);
    sqlite3_reset(begin_);
    return failed(rc, std::move(message));
  }
  sqlite3_reset(begin_);
  const int64_t version = DataVersion();
  for (const PendingScore& score : pending_) {
    // Invariant 5. When no other connection has committed since the row was read (the data
    // version is the same), the row holds what was delivered. Otherwise it is read again under
    // the write lock, and written only when its texts are the ones delivered. The UPDATE itself
    // passes over a row that is scored already.
    if (score.version != version || version < 0) {
      sqlite3_bind_int64(message_, 1, score.position);
      rc = sqlite3_step(message_);
      bool write = false;
      if (rc == SQLITE_ROW && sqlite3_column_int64(message_, 1) < 0) {
        rc = ReadMessage(message_, check_record_.get());
        write =
            rc == SQLITE_OK && Digests(*check_record_) == std::make_pair(score.digest, score.check);
      }
      if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE) {
        std::string message = sqlite3_errmsg(db_);
        sqlite3_reset(message_);
        return failed(rc, std::move(message));
      }
      sqlite3_reset(message_);
      if (!write) continue;
    }
    sqlite3_bind_int(store_score_, 1, score.hits);
    sqlite3_bind_int(store_score_, 2, score.points);
    sqlite3_bind_int64(store_score_, 3, score.position);
    rc = sqlite3_step(store_score_);
    if (rc != SQLITE_DONE) {
      std::string message = sqlite3_errmsg(db_);
      sqlite3_reset(store_score_);
      return failed(rc, std::move(message));
    }
    sqlite3_reset(store_score_);
  }
  CloseBlobs();
  rc = sqlite3_step(commit_);
  if (rc != SQLITE_DONE) {
    std::string message = sqlite3_errmsg(db_);
    sqlite3_reset(commit_);
    return failed(rc, std::move(message));
  }
  sqlite3_reset(commit_);
  sqlite3_busy_timeout(db_, lock_wait_ms);
  pending_.clear();
  if (checkpointer_ != nullptr) checkpointer_->Request();
  return WriteResult::kWritten;
}

void StoreHost::FlushBatch(bool wait) {
  std::string reason;
  if (WriteBatch(wait, &reason) == WriteResult::kFailed) {
    Fail(std::to_string(pending_.size()) + " score" + (pending_.size() == 1 ? "" : "s") +
         " not written to the store " + path_ + ": " + reason +
         "; those messages stay unscored for the next run");
    pending_.clear();
  }
  window_open_ = false;
}

void StoreHost::EndBatchWindowIfOver() {
  if (!window_open_) return;
  if (pending_.size() < kMaxBatchStores &&
      std::chrono::steady_clock::now() - window_start_ < kMaxBatchAge) {
    return;
  }
  // A full batch waits for the lock: the run can wait, its memory must not grow. One not yet
  // full waits for the next window's end while another process holds the lock, so that the run
  // does not stall on a lock it need not have yet.
  FlushBatch(/*wait=*/pending_.size() >= kMaxBatchStores);
}

int32_t StoreHost::HostOpenUserList(int32_t, int32_t, const char*) {
  if (!EnsureOpen()) return 0;
  list_open_ = true;
  last_user_ = std::numeric_limits<int64_t>::min();
  user_delivered_ = false;
  return 1;
}

int32_t StoreHost::HostNextUser(UserRecord* record, int32_t) {
  if (!list_open_ || db_ == nullptr) return 0;
  sqlite3_bind_int64(next_user_, 1, last_user_);
  int32_t delivered = 0;
  int rc = sqlite3_step(next_user_);
  if (rc == SQLITE_ROW) {
    const int64_t position = sqlite3_column_int64(next_user_, 0);
    rc =
        texts_[kUserName]->Read(db_, next_user_, 1, position, record->Name(), UserRecord::kNameSize,
                                std::numeric_limits<size_t>::max(), scratch_);
    if (rc == SQLITE_OK) {
      rc = texts_[kUserKind]->Read(db_, next_user_, 2, position, record->Kind(),
                                   UserRecord::kKindSize, std::numeric_limits<size_t>::max(),
                                   scratch_);
    }
    if (rc == SQLITE_OK) {
      last_user_ = position;
      user_delivered_ = true;
      last_user_name_.assign(record->Name());
      delivered = 1;
    }
  }
  if (rc != SQLITE_OK && rc != SQLITE_DONE) FailRead("the user list");
  texts_[kUserName]->Close();
  texts_[kUserKind]->Close();
  sqlite3_reset(next_user_);
  return delivered;
}

int32_t StoreHost::HostOpenFolder(const char* user, const char* folder, int32_t, const char*) {
  if (folder_open_) HostCloseFolder();
  if (user == nullptr || !EnsureOpen()) return 0;
  // The user just delivered is opened by its position: its name may be stored as TEXT beside
  // another user's BLOB of the same bytes, hold a NUL, or be longer than the record's field.
  bool user_found = user_delivered_ && last_user_name_ == user;
  int64_t user_position = last_user_;
  // Steps `statement`, which finds one id: true with the id when found; a read error is a
  // failure.
  const auto find = [this](sqlite3_stmt* statement, int64_t* id) {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) *id = sqlite3_column_int64(statement, 0);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) FailRead("the users and folders");
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return rc == SQLITE_ROW;
  };
  if (!user_found) {
    BindText(find_user_, 1, user);
    user_found = find(find_user_, &user_position);
  }
  bool folder_found = false;
  if (user_found) {
    sqlite3_bind_int64(find_folder_, 1, user_position);
    BindText(find_folder_, 2, folder);
    folder_found = find(find_folder_, &folder_);
  }
  if (!folder_found) {
    CloseStoreIfIdle();
    return 0;
  }
  folder_open_ = true;
  last_message_ = std::numeric_limits<int64_t>::min();
  delivered_ = false;
  return 1;
}

int32_t StoreHost::HostNextMessage(MessageRecord* record, int32_t) {
  if (!folder_open_) return 0;
  EndBatchWindowIfOver();
  if (!cursor_active_) {
    sqlite3_bind_int64(messages_, 1, folder_);
    sqlite3_bind_int64(messages_, 2, last_message_);
    cursor_active_ = true;
    snapshot_versioned_ = false;
  }
  if (!window_open_) {
    window_open_ = true;
    window_start_ = std::chrono::steady_clock::now();
  }
  delivered_ = false;
  int rc = sqlite3_step(messages_);
  // A cursor's first row starts its read snapshot: every row until the cursor is reset comes
  // from it, and carries its data version.
  if (rc == SQLITE_ROW && !snapshot_versioned_) {
    read_version_ = DataVersion();
    snapshot_versioned_ = true;
  }
  if (rc == SQLITE_ROW) rc = ReadMessage(messages_, record);
  if (rc != SQLITE_OK && rc != SQLITE_ROW) {
    if (rc != SQLITE_DONE) FailRead("the messages");
    ResetCursor();
    return 0;
  }
  last_message_ = sqlite3_column_int64(messages_, 0);
  delivered_ = true;
  const int64_t state = sqlite3_column_int64(messages_, 1);
  record->SetScoreState(ClampToInt32(state));
  record->SetStoredPoints(ClampToInt32(sqlite3_column_int64(messages_, 2)));
  // Only an unscored message gets a score; its texts are digested before the caller rewrites
  // them (invariant 5).
  last_digest_ = last_check_ = 0;
  if (state < 0) std::tie(last_digest_, last_check_) = Digests(*record);
  return 1;
}

int32_t StoreHost::HostStoreScore(int32_t hits, int32_t points) {
  if (!folder_open_ || !delivered_) return 0;
  pending_.push_back({last_message_, hits, points, last_digest_, last_check_, read_version_});
  return 1;
}

int32_t StoreHost::HostFinishMessage() {
  if (folder_open_) EndBatchWindowIfOver();
  return 1;
}

int32_t StoreHost::HostCloseFolder() {
  if (!folder_open_) return 1;
  ResetCursor();
  FlushBatch(/*wait=*/true);
  folder_open_ = false;
  delivered_ = false;
  CloseStoreIfIdle();
  return 1;
}

int32_t StoreHost::HostCloseUserList() {
  if (!list_open_) return 1;
  FlushBatch(/*wait=*/true);
  list_open_ = false;
  user_delivered_ = false;
  CloseStoreIfIdle();
  return 1;
}

int32_t StoreHost::HostDetach() {
  HostCloseFolder();
  HostCloseUserList();
  if (db_ != nullptr) CloseStore();
  return 1;
}
