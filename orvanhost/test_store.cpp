// Test helpers for stores in temporary directories.
#include "orvanhost/test_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "orvanhost/store.h"

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/orvanhost-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

SideConnection::SideConnection(const std::string& path) {
  std::string error;
  if (!OpenStore(path, StoreAccess::kWrite, &db_, &error)) ADD_FAILURE() << path << ": " << error;
}

SideConnection::~SideConnection() { sqlite3_close(db_); }

void SideConnection::Execute(const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << (message != nullptr ? message : "?");
  }
  sqlite3_free(message);
}

int64_t SideConnection::Integer(const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
    return 0;
  }
  const int64_t value =
      sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
  sqlite3_finalize(statement);
  return value;
}

std::string SideConnection::Bytes(const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
    return {};
  }
  std::string value = "<null>";
  if (sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_type(statement, 0) != SQLITE_NULL) {
    const void* bytes = sqlite3_column_blob(statement, 0);
    value.assign(bytes != nullptr ? static_cast<const char*>(bytes) : "",
                 static_cast<size_t>(sqlite3_column_bytes(statement, 0)));
  }
  sqlite3_finalize(statement);
  return value;
}

void CreateEmptyStore(const std::string& path) {
  sqlite3* db = nullptr;
  std::string error;
  ASSERT_TRUE(OpenStore(path, StoreAccess::kCreate, &db, &error)) << error;
  EXPECT_TRUE(CreateStoreSchema(db, &error)) << error;
  sqlite3_close(db);
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

int RunInChild(const std::function<int()>& body, bool as_other_user) {
  std::fflush(nullptr);  // the child must not write the parent's pending output again
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (as_other_user && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(125);
    _exit(body());
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
