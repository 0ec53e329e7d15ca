// The ten host operations over the SQLite store. HostNextMessage, HostStoreScore and
// HostFinishMessage run once per message of a check run, so they prepare nothing, allocate
// nothing and copy each text once, straight from SQLite's row into the record.
#include "orvanhost/store_host.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "orvanhost/store.h"
#include "orvanhost/text_field.h"

namespace {

constexpr const char kNextUserSql[] =
    "SELECT position, name, kind FROM users WHERE position > ?1 ORDER BY position LIMIT 1";
// Scripts may write names as TEXT; a name matches when its bytes are equal either way.
constexpr const char kFindUserSql[] =
    "SELECT position FROM users WHERE name = ?1 OR name = CAST(?1 AS TEXT) LIMIT 1";
constexpr const char kFindFolderSql[] =
    "SELECT id FROM folders WHERE user = ?1 AND "
    "CASE WHEN ?2 IS NULL THEN name IS NULL ELSE name = ?2 OR name = CAST(?2 AS TEXT) END "
    "LIMIT 1";
constexpr const char kMessagesSql[] =
    "SELECT position, title, destination, body, score_state, points FROM messages "
    "WHERE folder = ?1 AND position > ?2 ORDER BY position";
constexpr const char kStoreScoreSql[] =
    "UPDATE messages SET score_state = 0, hits = ?1, points = ?2 WHERE position = ?3";

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Copies column `column` of the current row, as bytes, into a text field.
void CopyColumn(sqlite3_stmt* statement, int column, char* field, size_t field_size,
                size_t max_text = static_cast<size_t>(-1)) {
  const void* bytes = sqlite3_column_blob(statement, column);
  const int length = sqlite3_column_bytes(statement, column);
  if (bytes == nullptr || length <= 0) {
    field[0] = '\0';
    return;
  }
  CopyTextField(field, field_size, static_cast<const char*>(bytes), static_cast<size_t>(length),
                max_text);
}

void BindText(sqlite3_stmt* statement, int index, const char* text) {
  if (text == nullptr) {
    sqlite3_bind_null(statement, index);
  } else {
    sqlite3_bind_blob(statement, index, text, static_cast<int>(std::strlen(text)),
                      SQLITE_TRANSIENT);
  }
}

}  // namespace

StoreHost::StoreHost(std::string store_path) : store_path_(std::move(store_path)) {
  pending_.reserve(kMaxBatchStores);
}

StoreHost::~StoreHost() { HostDetach(); }

int32_t StoreHost::HostAttach(int32_t, const char* program) {
  program_ = program != nullptr ? program : "";
  return 1;
}

bool StoreHost::EnsureOpen() {
  if (db_ != nullptr) return true;
  const std::string path = store_path_.empty() ? DefaultStorePath() : store_path_;
  std::string error;
  if (!OpenStore(path, /*create=*/false, &db_, &error)) return false;
  // Checkpoints run on the checkpointer's thread (invariant 3).
  sqlite3_exec(db_, "PRAGMA wal_autocheckpoint = 0", nullptr, nullptr, nullptr);
  const unsigned flags = SQLITE_PREPARE_PERSISTENT;
  const auto prepare = [&](const char* sql, sqlite3_stmt** statement) {
    return sqlite3_prepare_v3(db_, sql, -1, flags, statement, nullptr) == SQLITE_OK;
  };
  if (!prepare(kNextUserSql, &next_user_) || !prepare(kFindUserSql, &find_user_) ||
      !prepare(kFindFolderSql, &find_folder_) || !prepare(kMessagesSql, &messages_) ||
      !prepare(kStoreScoreSql, &store_score_) || !prepare("BEGIN IMMEDIATE", &begin_) ||
      !prepare("COMMIT", &commit_)) {
    CloseStore();  // a file that is no store, or lacks its tables
    return false;
  }
  checkpointer_ = std::make_unique<WalCheckpointer>(path);
  return true;
}

void StoreHost::CloseStore() {
  ResetCursor();
  WriteBatchOrDrop();
  for (sqlite3_stmt** statement :
       {&next_user_, &find_user_, &find_folder_, &messages_, &store_score_, &begin_, &commit_}) {
    sqlite3_finalize(*statement);
    *statement = nullptr;
  }
  checkpointer_.reset();
  sqlite3_close(db_);  // the last connection to close checkpoints what is left
  db_ = nullptr;
}

void StoreHost::CloseStoreIfIdle() {
  if (db_ != nullptr && !list_open_ && !folder_open_) CloseStore();
}

void StoreHost::ResetCursor() {
  if (!cursor_active_) return;
  sqlite3_reset(messages_);
  cursor_active_ = false;
}

bool StoreHost::WriteBatch() {
  if (pending_.empty()) return true;
  ResetCursor();  // see invariant 4
  const int begun = sqlite3_step(begin_);
  sqlite3_reset(begin_);
  if (begun != SQLITE_DONE) return false;
  bool written = true;
  for (const PendingScore& score : pending_) {
    sqlite3_bind_int(store_score_, 1, score.hits);
    sqlite3_bind_int(store_score_, 2, score.points);
    sqlite3_bind_int64(store_score_, 3, score.position);
    const int rc = sqlite3_step(store_score_);
    sqlite3_reset(store_score_);
    if (rc != SQLITE_DONE) {
      written = false;
      break;
    }
  }
  if (written) {
    written = sqlite3_step(commit_) == SQLITE_DONE;
    sqlite3_reset(commit_);
  }
  if (!written) {
    if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  pending_.clear();
  if (checkpointer_ != nullptr) checkpointer_->Request();
  return true;
}

void StoreHost::WriteBatchOrDrop() {
  if (!WriteBatch()) pending_.clear();
  window_open_ = false;
}

void StoreHost::EndBatchWindowIfOver() {
  if (!window_open_) return;
  if (pending_.size() < kMaxBatchStores &&
      std::chrono::steady_clock::now() - window_start_ < kMaxBatchAge) {
    return;
  }
  ResetCursor();
  // A batch that cannot be written now is tried again at the next window's end, unless it is
  // full; the run must not stall on another process's lock.
  if (!WriteBatch() && pending_.size() >= kMaxBatchStores) pending_.clear();
  window_open_ = false;
}

int32_t StoreHost::HostOpenUserList(int32_t, int32_t, const char*) {
  if (!EnsureOpen()) return 0;
  list_open_ = true;
  last_user_ = std::numeric_limits<int64_t>::min();
  return 1;
}

int32_t StoreHost::HostNextUser(UserRecord* record, int32_t) {
  if (!list_open_ || db_ == nullptr) return 0;
  sqlite3_bind_int64(next_user_, 1, last_user_);
  int32_t delivered = 0;
  if (sqlite3_step(next_user_) == SQLITE_ROW) {
    last_user_ = sqlite3_column_int64(next_user_, 0);
    CopyColumn(next_user_, 1, record->Name(), UserRecord::kNameSize);
    CopyColumn(next_user_, 2, record->Kind(), UserRecord::kKindSize);
    delivered = 1;
  }
  sqlite3_reset(next_user_);
  return delivered;
}

int32_t StoreHost::HostOpenFolder(const char* user, const char* folder, int32_t, const char*) {
  if (folder_open_) HostCloseFolder();
  if (user == nullptr || !EnsureOpen()) return 0;
  BindText(find_user_, 1, user);
  const bool user_found = sqlite3_step(find_user_) == SQLITE_ROW;
  const int64_t user_position = user_found ? sqlite3_column_int64(find_user_, 0) : 0;
  sqlite3_reset(find_user_);
  sqlite3_clear_bindings(find_user_);
  bool folder_found = false;
  if (user_found) {
    sqlite3_bind_int64(find_folder_, 1, user_position);
    BindText(find_folder_, 2, folder);
    folder_found = sqlite3_step(find_folder_) == SQLITE_ROW;
    if (folder_found) folder_ = sqlite3_column_int64(find_folder_, 0);
    sqlite3_reset(find_folder_);
    sqlite3_clear_bindings(find_folder_);
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
  }
  if (!window_open_) {
    window_open_ = true;
    window_start_ = std::chrono::steady_clock::now();
  }
  if (sqlite3_step(messages_) != SQLITE_ROW) {
    ResetCursor();
    delivered_ = false;
    return 0;
  }
  last_message_ = sqlite3_column_int64(messages_, 0);
  delivered_ = true;
  CopyColumn(messages_, 1, record->Title(), MessageRecord::kTitleSize);
  CopyColumn(messages_, 2, record->Destination(), MessageRecord::kDestinationSize);
  CopyColumn(messages_, 3, record->Body(), MessageRecord::kBodySize, kMaxBodyText);
  record->SetScoreState(ClampToInt32(sqlite3_column_int64(messages_, 4)));
  record->SetStoredPoints(ClampToInt32(sqlite3_column_int64(messages_, 5)));
  return 1;
}

int32_t StoreHost::HostStoreScore(int32_t hits, int32_t points) {
  if (!folder_open_ || !delivered_) return 0;
  pending_.push_back({last_message_, hits, points});
  return 1;
}

int32_t StoreHost::HostFinishMessage() {
  if (folder_open_) EndBatchWindowIfOver();
  return 1;
}

int32_t StoreHost::HostCloseFolder() {
  if (!folder_open_) return 1;
  ResetCursor();
  WriteBatchOrDrop();
  folder_open_ = false;
  delivered_ = false;
  CloseStoreIfIdle();
  return 1;
}

int32_t StoreHost::HostCloseUserList() {
  if (!list_open_) return 1;
  WriteBatchOrDrop();
  list_open_ = false;
  CloseStoreIfIdle();
  return 1;
}

int32_t StoreHost::HostDetach() {
  HostCloseFolder();
  HostCloseUserList();
  if (db_ != nullptr) CloseStore();
  return 1;
}
