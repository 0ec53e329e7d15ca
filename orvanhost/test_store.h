// Test helpers: a temporary directory, and SQL run on a store from the side.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>

// The bytes as upper-case hexadecimal digits, as SQLite's hex() gives them.
std::string Hex(const std::string& bytes);

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;  // the directory
};

// A second connection to a store, as another process would have. Fails the test on SQL errors.
class SideConnection {
 public:
  explicit SideConnection(const std::string& path);
  ~SideConnection();
  SideConnection(const SideConnection&) = delete;
  SideConnection& operator=(const SideConnection&) = delete;

  sqlite3* db() const { return db_; }
  void Execute(const std::string& sql);
  // The first column of the first row as an integer (0 when there is no row).
  int64_t Integer(const std::string& sql);
  // The first column of the first row as bytes; "<null>" when NULL or no row.
  std::string Bytes(const std::string& sql);

 private:
  sqlite3* db_ = nullptr;  // the connection
};

// Creates a store at `path` with the schema and nothing in it.
void CreateEmptyStore(const std::string& path);

// Runs `body` in a child process and returns its exit status (-1 when it did not exit). With
// `as_other_user`, a child of root first takes the rights of user and group 65534 (nobody), so
// that file permissions hold as they do for an operator; other users run it as they are.
int RunInChild(const std::function<int()>& body, bool as_other_user = false);
