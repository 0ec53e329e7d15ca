// Opening and creating the bundled host's store. Opening happens once per run of the host
// library or per command of the admin tool, so nothing here is on a hot path.
#include "orvanhost/store.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <string>

#ifdef _WIN32
namespace {
// A wide text as UTF-8, the encoding SQLite takes file names in on Windows.
std::string Utf8(const wchar_t* wide, int length) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), bytes, nullptr, nullptr);
  return out;
}
}  // namespace

// Windows: the directory of the executable's wide path, in UTF-8; the store's name from the
// environment's wide form too, so that any folder name works whatever the system's code page.
std::string ExecutableDirectory() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return {};
  path.resize(length);
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  return Utf8(path.data(), static_cast<int>(slash));
}

std::string DefaultStorePath() {
  const wchar_t* named = _wgetenv(L"ORVAN_STORE");
  if (named != nullptr && named[0] != L'\0') return Utf8(named, -1).c_str();
  return ExecutableDirectory() + "\\" + kStoreFileName;
}
#else
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
#endif

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
