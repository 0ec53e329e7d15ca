// Opening and creating the bundled host's store. Opening happens once per run of the host
// library or per command of the admin tool, so nothing here is on a hot path.
#include "orvanhost/store.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

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

// The store's journal mode ("wal", "delete", ...); empty with a reason when it cannot be read,
// which is how a file that is no database first shows.
std::string JournalMode(sqlite3* db, std::string* error) {
  sqlite3_stmt* statement = nullptr;
  std::string mode;
  if (sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(statement, 0);
    mode = text != nullptr ? reinterpret_cast<const char*>(text) : "";
  } else {
    *error = sqlite3_errmsg(db);
  }
  sqlite3_finalize(statement);
  return mode;
}

// `path` as an SQLite URI file name with the query `query`.
std::string FileUri(const std::string& path, const char* query) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (const char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      uri += '%';
      uri += kDigits[static_cast<unsigned char>(c) >> 4];
      uri += kDigits[static_cast<unsigned char>(c) & 15];
    } else {
      uri += c;
    }
  }
  return uri + "?" + query;
}

// Opens `name` with `flags`; on success the connection is ready for its first statement.
bool OpenConnection(const std::string& name, int flags, std::chrono::milliseconds lock_wait,
                    StoreAccess access, sqlite3** db, std::string* error) {
  sqlite3* connection = nullptr;
  int rc = sqlite3_open_v2(name.c_str(), &connection, flags, nullptr);
  if (rc != SQLITE_OK) {
    *error = connection != nullptr ? sqlite3_errmsg(connection) : sqlite3_errstr(rc);
    sqlite3_close(connection);
    return false;
  }
  sqlite3_busy_timeout(connection, static_cast<int>(lock_wait.count()));
  bool ok = true;
  if (access == StoreAccess::kCreate) {
    ok = SwitchStoreToWal(connection, error);
  } else {
    // Reading the journal mode writes nothing; a file that is no database fails here.
    const std::string mode = JournalMode(connection, error);
    ok = !mode.empty();
    if (ok && mode == "wal" && access == StoreAccess::kWrite) {
      ok = Execute(connection, "PRAGMA synchronous=NORMAL", error);
    }
  }
  if (!ok) {
    sqlite3_close(connection);
    return false;
  }
  *db = connection;
  return true;
}

}  // namespace

bool StoreFileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::path(std::u8string(path.begin(), path.end())),
                                 ignored);
}

bool OpenStore(const std::string& path, StoreAccess access, sqlite3** db, std::string* error,
               std::chrono::milliseconds lock_wait) {
  *db = nullptr;
  int flags = SQLITE_OPEN_READWRITE;
  if (access == StoreAccess::kRead) flags = SQLITE_OPEN_READONLY;
  if (access == StoreAccess::kCreate) flags |= SQLITE_OPEN_CREATE;
  if (OpenConnection(path, flags, lock_wait, access, db, error)) return true;
  // A store in WAL mode needs its -shm file to be read; in a directory that may not be written
  // it cannot be made. Without a write-ahead log the file holds the whole store, and is read as
  // it stands.
  if (access == StoreAccess::kRead && !StoreFileExists(path + "-wal")) {
    std::string second_error;
    if (OpenConnection(FileUri(path, "immutable=1"), flags | SQLITE_OPEN_URI, lock_wait, access, db,
                       &second_error)) {
      return true;
    }
  }
  return false;
}

bool SwitchStoreToWal(sqlite3* db, std::string* error) {
  const std::string mode = JournalMode(db, error);
  if (mode.empty()) return false;
  if (mode != "wal") {
    // journal_mode answers with the mode it ended in; a store that stays in its old one (it is
    // locked, or read-only) keeps the old one's safer synchronous setting.
    sqlite3_stmt* statement = nullptr;
    bool switched = false;
    if (sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(statement, 0);
      switched = text != nullptr && std::string_view(reinterpret_cast<const char*>(text)) == "wal";
    }
    if (!switched) *error = sqlite3_errmsg(db);
    sqlite3_finalize(statement);
    if (!switched) return false;
  }
  return Execute(db, "PRAGMA synchronous=NORMAL", error);
}

bool CreateStoreSchema(sqlite3* db, std::string* error) {
  return Execute(db, kStoreSchemaSql, error) && Execute(db, kStoreIndexesSql, error);
}

bool StoreHasSchema(sqlite3* db, std::string* error) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN "
                         "('users', 'folders', 'messages')",
                         -1, &statement, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(db);
    return false;
  }
  const int rc = sqlite3_step(statement);
  const bool has = rc == SQLITE_ROW && sqlite3_column_int(statement, 0) == 3;
  if (rc != SQLITE_ROW) {
    *error = sqlite3_errmsg(db);
  } else if (!has) {
    *error = "not an orvan store (no users, folders and messages tables)";
  }
  sqlite3_finalize(statement);
  return has;
}
