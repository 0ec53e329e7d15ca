// The commands of `orvan-host`. Each opens the store once, runs in one transaction and closes
// it; nothing here is on a hot path, so plain clarity wins over speed.
#include "orvanhost/admin.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "orvanhost/cp932_convert.h"
#include "orvanhost/demo_data.h"
#include "orvanhost/mail_import.h"
#include "orvanhost/store.h"

const char kOrvanHostUsage[] =
    "usage: orvan-host [--store PATH] COMMAND [ARGS]\n"
    "\n"
    "The store is PATH, else $ORVAN_STORE, else orvan.sqlite beside orvan-host.\n"
    "\n"
    "commands:\n"
    "  init                      create an empty store\n"
    "  add-user NAME [--board]   add a user with its folder \"送信済みトレイ\"; with --board a\n"
    "                            board account (kind 掲示板) with the board's own folder\n"
    "  import USER FILE...       import .eml files or mboxes into the user's folder\n"
    "  report [--json]           one line per user: messages, scored, unscored, hits, points\n"
    "  reset                     mark every message unscored again\n"
    "  demo [--keywords PATH] [--force]\n"
    "                            create a demo store and its keyword list (default orvan.key\n"
    "                            beside orvan-host); --force replaces existing ones\n"
    "  --help                    show this text\n";

namespace {

constexpr int kStatusError = 1;
constexpr int kStatusUsage = 2;
constexpr std::string_view kProgram = "orvan-host: ";

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

// One prepared statement, finalized when it goes out of scope.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) statement_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  [[nodiscard]] bool ok() const { return statement_ != nullptr; }
  sqlite3_stmt* get() const { return statement_; }
  void BindBytes(int index, std::string_view bytes) {
    // A null pointer would bind NULL; an empty text is an empty BLOB.
    sqlite3_bind_blob(statement_, index, bytes.data() != nullptr ? bytes.data() : "",
                      static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  }
  void BindNull(int index) { sqlite3_bind_null(statement_, index); }
  void BindInt(int index, int64_t value) { sqlite3_bind_int64(statement_, index, value); }
  int Step() { return sqlite3_step(statement_); }
  void Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
  std::string Bytes(int column) const {
    const void* bytes = sqlite3_column_blob(statement_, column);
    const int length = sqlite3_column_bytes(statement_, column);
    return bytes != nullptr
               ? std::string(static_cast<const char*>(bytes), static_cast<size_t>(length))
               : std::string();
  }

 private:
  sqlite3_stmt* statement_ = nullptr;  // null when the SQL did not prepare
};

// What every command shares: the streams, the store's path and its connection.
class Command {
 public:
  Command(std::string store_path, std::ostream& out, std::ostream& err)
      : store_path_(std::move(store_path)), out_(out), err_(err) {}

  std::ostream& out() { return out_; }
  const std::string& store_path() const { return store_path_; }
  sqlite3* db() const { return db_.get(); }

  // Prints "orvan-host: <subject>: <reason>" and returns kStatusError.
  int Fail(std::string_view subject, std::string_view reason) {
    err_ << kProgram << subject << ": " << reason << '\n';
    return kStatusError;
  }
  int FailSql(std::string_view subject) { return Fail(subject, sqlite3_errmsg(db_.get())); }

  // Opens the existing store (kRead: only to read it, which writes nothing); on failure reports
  // it and returns false.
  [[nodiscard]] bool OpenExisting(StoreAccess how = StoreAccess::kWrite) {
    if (access(store_path_.c_str(), F_OK) != 0) {
      Fail(store_path_, "no such store (create one with 'orvan-host init')");
      return false;
    }
    return Open(how);
  }

  [[nodiscard]] bool Open(StoreAccess how) {
    sqlite3* db = nullptr;
    std::string error;
    if (!OpenStore(store_path_, how, &db, &error)) {
      Fail(store_path_, "cannot open the store: " + error);
      return false;
    }
    db_.reset(db);
    if (how != StoreAccess::kCreate && !StoreHasSchema(db, &error)) {
      Fail(store_path_, error);
      db_.reset();
      return false;
    }
    return true;
  }

  [[nodiscard]] bool Execute(const char* sql) {
    return sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  [[nodiscard]] bool Begin() {
    if (Execute("BEGIN IMMEDIATE")) return true;
    FailSql(store_path_);
    return false;
  }
  // Commits; on failure reports it, rolls back and returns false.
  [[nodiscard]] bool Commit() {
    if (Execute("COMMIT")) return true;
    FailSql(store_path_);
    Rollback();
    return false;
  }
  // Closes the store and removes its files: a store that this command created and then failed
  // to fill is not left behind half made.
  void RemoveCreatedStore() {
    db_.reset();
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
      std::remove((store_path_ + suffix).c_str());
    }
  }
  void Rollback() {
    if (db_ != nullptr && sqlite3_get_autocommit(db_.get()) == 0) (void)Execute("ROLLBACK");
  }

 private:
  std::string store_path_;  // the store the command works on
  std::ostream& out_;       // normal output
  std::ostream& err_;       // one-line errors
  Db db_;                   // the open store, or null
};

// A name from the command line as code-page-932 bytes; false when it cannot be held.
bool NameToCp932(const std::string& name, std::string* bytes) {
  int replaced = 0;
  *bytes = ConvertToCp932(name, TerminalCharset(), &replaced);
  return replaced == 0 && !bytes->empty();
}

std::string ToTerminal(std::string_view cp932) {
  return ConvertFromCp932(cp932, TerminalCharset());
}

// Finds a user by name bytes (BLOB or TEXT); false when there is none.
bool FindUser(sqlite3* db, std::string_view name, int64_t* position, std::string* kind) {
  Statement find(db, "SELECT position, kind FROM users WHERE name = ?1 OR name = CAST(?1 AS TEXT)");
  find.BindBytes(1, name);
  if (find.Step() != SQLITE_ROW) return false;
  *position = find.Int(0);
  *kind = find.Bytes(1);
  return true;
}

// The folder that the check run opens for a user of `kind`, made when missing. Returns its id,
// or -1 on an SQL error.
int64_t RunFolder(sqlite3* db, int64_t user, std::string_view kind) {
  const bool board = kind == kBoardKind;
  Statement find(db, board ? "SELECT id FROM folders WHERE user = ?1 AND name IS NULL"
                           : "SELECT id FROM folders WHERE user = ?1 AND "
                             "(name = ?2 OR name = CAST(?2 AS TEXT))");
  find.BindInt(1, user);
  if (!board) find.BindBytes(2, kSentFolderName);
  if (find.Step() == SQLITE_ROW) return find.Int(0);
  Statement insert(db, "INSERT INTO folders (user, name) VALUES (?1, ?2)");
  insert.BindInt(1, user);
  if (board) {
    insert.BindNull(2);
  } else {
    insert.BindBytes(2, kSentFolderName);
  }
  if (insert.Step() != SQLITE_DONE) return -1;
  return sqlite3_last_insert_rowid(db);
}

int InitCommand(Command& command) {
  if (access(command.store_path().c_str(), F_OK) == 0) {
    return command.Fail(command.store_path(), "already exists");
  }
  if (!command.Open(StoreAccess::kCreate)) return kStatusError;
  std::string error;
  if (!command.Begin()) {
    command.RemoveCreatedStore();
    return kStatusError;
  }
  if (!CreateStoreSchema(command.db(), &error)) {
    command.Rollback();
    command.RemoveCreatedStore();
    return command.Fail(command.store_path(), error);
  }
  if (!command.Commit()) {
    command.RemoveCreatedStore();
    return kStatusError;
  }
  command.out() << "created the empty store " << command.store_path() << '\n';
  return 0;
}

// Adds a user and its folder inside the caller's transaction.
bool AddUser(Command& command, std::string_view name, bool board, int64_t* position) {
  Statement insert(command.db(), "INSERT INTO users (name, kind) VALUES (?1, ?2)");
  insert.BindBytes(1, name);
  insert.BindBytes(2, board ? kBoardKind : std::string_view());
  if (insert.Step() != SQLITE_DONE) return false;
  *position = sqlite3_last_insert_rowid(command.db());
  return RunFolder(command.db(), *position, board ? kBoardKind : std::string_view()) >= 0;
}

int AddUserCommand(Command& command, const std::string& name, bool board) {
  std::string bytes;
  if (!NameToCp932(name, &bytes)) {
    return command.Fail("user " + name,
                        bytes.empty() ? "the name is empty"
                                      : "the name has characters that code page 932 cannot hold");
  }
  if (!command.OpenExisting()) return kStatusError;
  int64_t position = 0;
  std::string kind;
  if (FindUser(command.db(), bytes, &position, &kind)) {
    return command.Fail("user " + name, "already exists");
  }
  if (!command.Begin()) return kStatusError;
  if (!AddUser(command, bytes, board, &position)) {
    const int status = command.FailSql("user " + name);
    command.Rollback();
    return status;
  }
  if (!command.Commit()) return kStatusError;
  command.out() << "added " << (board ? "the board " : "the user ") << name << '\n';
  return 0;
}

int ImportCommand(Command& command, const std::string& user,
                  const std::vector<std::string>& files) {
  std::string name;
  if (!NameToCp932(user, &name)) return command.Fail("user " + user, "no such user");
  if (!command.OpenExisting()) return kStatusError;
  int64_t position = 0;
  std::string kind;
  if (!FindUser(command.db(), name, &position, &kind)) {
    return command.Fail("user " + user, "no such user");
  }
  // One transaction for the whole import: each message is stored as soon as it is read, and a
  // bad file or message rolls everything back, so that it imports nothing at all.
  if (!command.Begin()) return kStatusError;
  const int64_t folder = RunFolder(command.db(), position, kind);
  Statement insert(command.db(),
                   "INSERT INTO messages (folder, title, destination, body) "
                   "VALUES (?1, ?2, ?3, ?4)");
  if (folder < 0 || !insert.ok()) {
    const int status = command.FailSql(command.store_path());
    command.Rollback();
    return status;
  }
  Cp932Converter converter;  // one converter per charset for the whole import
  const std::string terminal = TerminalCharset();
  int imported = 0;
  int replaced_total = 0;
  int replaced_messages = 0;
  std::string replaced_lines;  // printed once the import is committed
  for (const std::string& file : files) {
    bool stored = true;  // false: the last message could not be inserted
    std::string error;
    const bool read = ReadMailFile(
        file, converter,
        [&](ImportedMessage&& message) {
          insert.BindInt(1, folder);
          insert.BindBytes(2, message.title);
          insert.BindBytes(3, message.destination);
          insert.BindBytes(4, message.body);
          stored = insert.Step() == SQLITE_DONE;
          if (!stored) return false;
          insert.Reset();
          ++imported;
          if (message.replaced > 0) {
            ++replaced_messages;
            replaced_total += message.replaced;
            replaced_lines +=
                file +
                (message.in_mbox ? " (message " + std::to_string(message.number) + ")" : "") +
                " \"" + converter.FromCp932(message.title, terminal) +
                "\": " + std::to_string(message.replaced) + " character" +
                (message.replaced == 1 ? "" : "s") + " replaced by " +
                converter.FromCp932(kGetaMark, terminal) + "\n";
          }
          return true;
        },
        &error);
    if (!read) {
      const int status = stored ? command.Fail(file, error) : command.FailSql(file);
      command.Rollback();
      return status;
    }
  }
  if (!command.Commit()) return kStatusError;
  command.out() << replaced_lines << "imported " << imported << " message"
                << (imported == 1 ? "" : "s") << " into " << user << "; " << replaced_total
                << " character" << (replaced_total == 1 ? "" : "s") << " replaced by "
                << ToTerminal(kGetaMark) << " in " << replaced_messages << " message"
                << (replaced_messages == 1 ? "" : "s") << '\n';
  return 0;
}

void AppendJsonString(std::string_view utf8, std::ostream& out) {
  out << '"';
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out << '\\' << c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out << escaped;
    } else {
      out << c;
    }
  }
  out << '"';
}

int ReportCommand(Command& command, bool json) {
  if (!command.OpenExisting(StoreAccess::kRead)) return kStatusError;
  if (!command.Execute("BEGIN")) return command.FailSql(command.store_path());
  Statement report(command.db(),
                   "SELECT u.name, u.kind, count(m.position), "
                   "count(CASE WHEN m.score_state >= 0 THEN 1 END), "
                   "count(CASE WHEN m.score_state < 0 THEN 1 END), "
                   "coalesce(sum(CASE WHEN m.score_state >= 0 THEN m.hits END), 0), "
                   "coalesce(sum(CASE WHEN m.score_state >= 0 THEN m.points END), 0) "
                   "FROM users u LEFT JOIN folders f ON f.user = u.position "
                   "LEFT JOIN messages m ON m.folder = f.id "
                   "GROUP BY u.position ORDER BY u.position");
  if (!report.ok()) return command.FailSql(command.store_path());
  std::ostream& out = command.out();
  if (json) out << "[";
  bool first = true;
  int rc;
  while ((rc = report.Step()) == SQLITE_ROW) {
    const bool board = report.Bytes(1) == kBoardKind;
    if (json) {
      out << (first ? "\n  " : ",\n  ") << "{\"name\": ";
      AppendJsonString(ConvertFromCp932(report.Bytes(0), "UTF-8"), out);
      out << ", \"board\": " << (board ? "true" : "false") << ", \"messages\": " << report.Int(2)
          << ", \"scored\": " << report.Int(3) << ", \"unscored\": " << report.Int(4)
          << ", \"hits\": " << report.Int(5) << ", \"points\": " << report.Int(6) << "}";
    } else {
      out << ToTerminal(report.Bytes(0)) << (board ? " (" + ToTerminal(kBoardKind) + ")" : "")
          << "\tmessages " << report.Int(2) << "\tscored " << report.Int(3) << "\tunscored "
          << report.Int(4) << "\thits " << report.Int(5) << "\tpoints " << report.Int(6) << '\n';
    }
    first = false;
  }
  if (json) out << (first ? "]\n" : "\n]\n");
  if (rc != SQLITE_DONE) return command.FailSql(command.store_path());
  return 0;
}

int ResetCommand(Command& command) {
  if (!command.OpenExisting() || !command.Begin()) return kStatusError;
  if (!command.Execute("UPDATE messages SET score_state = -1, hits = NULL, points = 0")) {
    const int status = command.FailSql(command.store_path());
    command.Rollback();
    return status;
  }
  const int64_t changed = sqlite3_changes64(command.db());
  if (!command.Commit()) return kStatusError;
  command.out() << changed << " message" << (changed == 1 ? "" : "s") << " marked unscored\n";
  return 0;
}

std::string Cp932(const char* utf8) {
  int replaced = 0;
  return ConvertToCp932(utf8, "UTF-8", &replaced);
}

// Fills the newly created store and writes the keyword list; the caller removes the store
// when it fails.
int FillDemoStore(Command& command, const std::string& keywords_path) {
  const std::string& store = command.store_path();
  if (!command.Begin()) return kStatusError;
  std::string error;
  if (!CreateStoreSchema(command.db(), &error)) {
    command.Rollback();
    return command.Fail(store, error);
  }
  Statement insert(command.db(),
                   "INSERT INTO messages (folder, title, destination, body, score_state, hits, "
                   "points) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
  int messages = 0;
  for (const DemoUser& user : DemoUsers()) {
    int64_t position = 0;
    const std::string name = Cp932(user.name);
    if (!AddUser(command, name, user.board, &position) || !insert.ok()) {
      const int status = command.FailSql(store);
      command.Rollback();
      return status;
    }
    const int64_t folder =
        RunFolder(command.db(), position, user.board ? kBoardKind : std::string_view());
    for (const DemoMessage& message : user.messages) {
      insert.BindInt(1, folder);
      insert.BindBytes(2, Cp932(message.title));
      insert.BindBytes(3, Cp932(message.destination));
      insert.BindBytes(4, Cp932(message.body));
      insert.BindInt(5, message.score_state);
      if (message.score_state >= 0) insert.BindInt(6, message.hits);
      insert.BindInt(7, message.score_state >= 0 ? message.points : 0);
      if (insert.Step() != SQLITE_DONE) {
        const int status = command.FailSql(store);
        command.Rollback();
        return status;
      }
      insert.Reset();
      ++messages;
    }
  }
  std::string keywords;
  for (const DemoKeyword& keyword : DemoKeywords()) {
    keywords += Cp932(keyword.keyword);
    if (keyword.weight != nullptr) keywords += std::string("\t") + keyword.weight;
    keywords += "\r\n";
  }
  // The list goes to a temporary file first and takes its name only once the store is
  // committed, so that a failure leaves neither behind.
  const std::string temporary = keywords_path + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << keywords;
    file.close();
    if (!file) {
      const int saved_errno = errno;
      command.Rollback();
      std::remove(temporary.c_str());
      return command.Fail(keywords_path,
                          std::string("cannot write: ") + std::strerror(saved_errno));
    }
  }
  if (!command.Commit()) {
    std::remove(temporary.c_str());
    return kStatusError;
  }
  if (std::rename(temporary.c_str(), keywords_path.c_str()) != 0) {
    const int saved_errno = errno;
    std::remove(temporary.c_str());
    return command.Fail(keywords_path, std::string("cannot write: ") + std::strerror(saved_errno));
  }
  command.out() << "created the demo store " << store << " (" << DemoUsers().size() << " users, "
                << messages << " messages) and the keyword list " << keywords_path << " ("
                << DemoKeywords().size() << " keywords)\n";
  return 0;
}

int DemoCommand(Command& command, std::string keywords_path, bool force) {
  if (keywords_path.empty()) keywords_path = ExecutableDirectory() + "/orvan.key";
  const std::string& store = command.store_path();
  for (const std::string* path : {&store, static_cast<const std::string*>(&keywords_path)}) {
    if (!force && access(path->c_str(), F_OK) == 0) {
      return command.Fail(*path, "already exists (--force replaces it)");
    }
  }
  if (force) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
      const std::string file = store + suffix;
      if (std::remove(file.c_str()) != 0 && errno != ENOENT) {
        return command.Fail(file, std::string("cannot remove: ") + std::strerror(errno));
      }
    }
  }
  if (!command.Open(StoreAccess::kCreate)) return kStatusError;
  const int status = FillDemoStore(command, keywords_path);
  if (status != 0) command.RemoveCreatedStore();
  return status;
}

int Usage(std::ostream& err, std::string_view reason) {
  err << kProgram << reason << " (see orvan-host --help)\n";
  return kStatusUsage;
}

}  // namespace

int RunOrvanHost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string store;
  std::string keywords;
  bool board = false;
  bool json = false;
  bool force = false;
  std::vector<std::string> words;  // the command and its operands
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&](std::string_view option, std::string* target) {
      if (arg == option) {
        if (i + 1 >= args.size()) return false;
        *target = args[++i];
        return true;
      }
      *target = arg.substr(option.size() + 1);
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      out << kOrvanHostUsage;
      return 0;
    } else if (arg == "--store" || arg.rfind("--store=", 0) == 0) {
      if (!value("--store", &store) || store.empty()) return Usage(err, "--store needs a path");
    } else if (arg == "--keywords" || arg.rfind("--keywords=", 0) == 0) {
      if (!value("--keywords", &keywords) || keywords.empty()) {
        return Usage(err, "--keywords needs a path");
      }
    } else if (arg == "--board") {
      board = true;
    } else if (arg == "--json") {
      json = true;
    } else if (arg == "--force") {
      force = true;
    } else if (arg == "--") {
      words.insert(words.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage(err, "unknown option " + arg);
    } else {
      words.push_back(arg);
    }
  }
  if (words.empty()) return Usage(err, "no command given");
  const std::string verb = words[0];
  const size_t operands = words.size() - 1;
  const auto misplaced = [&](bool allowed, const char* option, bool given) {
    return given && !allowed ? Usage(err, std::string(option) + " does not go with " + verb) : 0;
  };
  if (int status = misplaced(verb == "add-user", "--board", board)) return status;
  if (int status = misplaced(verb == "report", "--json", json)) return status;
  if (int status = misplaced(verb == "demo", "--keywords", !keywords.empty())) return status;
  if (int status = misplaced(verb == "demo", "--force", force)) return status;

  Command command(store.empty() ? DefaultStorePath() : store, out, err);
  if (verb == "init" && operands == 0) return InitCommand(command);
  if (verb == "add-user" && operands == 1) return AddUserCommand(command, words[1], board);
  if (verb == "import" && operands >= 2) {
    return ImportCommand(command, words[1], {words.begin() + 2, words.end()});
  }
  if (verb == "report" && operands == 0) return ReportCommand(command, json);
  if (verb == "reset" && operands == 0) return ResetCommand(command);
  if (verb == "demo" && operands == 0) return DemoCommand(command, keywords, force);
  for (const char* known : {"init", "add-user", "import", "report", "reset", "demo"}) {
    if (verb == known) return Usage(err, "wrong number of arguments for " + verb);
  }
  return Usage(err, "unknown command " + verb);
}
