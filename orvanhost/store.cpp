// Opening and creating the bundled host's store. Opening happens once per run of the host
// library or per command of the admin tool, so nothing here is on a hot path.
#include "orvanhost/store.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

std::string ExecutableDirectory() {
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size()) return {};
  path.resize(static_cast<size_t>(length));
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  path.resize(slash);
  return path;
}

std::string DefaultStorePath() {
  const char* named = std::getenv(kStoreEnvironmentVariable);
  if (named != nullptr && named[0] != '\0') return named;
  return ExecutableDirectory() + "/" + kStoreFileName;
}

namespace {

bool Execute(sqlite3* db, const char* sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  *error = message != nullptr ? message : sqlite3_errmsg(db);
  sqlite3_free(message);
  return false;
}

}  // namespace

bool OpenStore(const std::string& path, bool create, sqlite3** db, std::string* error) {
  *db = nullptr;
  sqlite3* connection = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &connection, flags, nullptr);
  if (rc != SQLITE_OK) {
    *error = connection != nullptr ? sqlite3_errmsg(connection) : sqlite3_errstr(rc);
    sqlite3_close(connection);
    return false;
  }
  sqlite3_busy_timeout(connection, kStoreBusyTimeoutMillis);
  // journal_mode answers with a row; a file that is no database fails here.
  if (!Execute(connection, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", error)) {
    sqlite3_close(connection);
    return false;
  }
  *db = connection;
  return true;
}

bool CreateStoreSchema(sqlite3* db, std::string* error) {
  return Execute(db, kStoreSchemaSql, error) && Execute(db, kStoreIndexesSql, error);
}

bool StoreHasSchema(sqlite3* db) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN "
                         "('users', 'folders', 'messages')",
                         -1, &statement, nullptr) != SQLITE_OK) {
    return false;
  }
  const bool has = sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_int(statement, 0) == 3;
  sqlite3_finalize(statement);
  return has;
}
