#include "store/database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "store/prepared_statement.h"

namespace quorvix::service {

namespace {

// The file is created private, or made private, before SQLite opens it; a link could point the
// accounts' passwords anywhere, so none is followed.
int OpenPrivate(const std::string& path, bool create) {
  const int fd =
      ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
  if (fd < 0) {
    if (!create && errno == ENOENT) return -1;
    const std::string why = errno == ELOOP ? "a symbolic link is refused" : std::strerror(errno);
    throw DatabaseError("cannot open " + path + ": " + why);
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::fchmod(fd, 0600) != 0) {
    ::close(fd);
    throw DatabaseError("cannot open " + path + ": not a private regular file");
  }
  return fd;
}

}  // namespace

Database::Database(const std::string& path, std::chrono::milliseconds busyTime)
    : busyTime_(busyTime), path_(path) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (path != ":memory:") {
    fd_ = OpenPrivate(path, true);
    // The journal files beside it take the database's mode when SQLite creates them; older
    // ones are made private too.
    for (const char* suffix : {"-wal", "-shm"}) {
      const int fd = OpenPrivate(path + suffix, false);
      if (fd >= 0) ::close(fd);
    }
    flags |= SQLITE_OPEN_NOFOLLOW;
  }
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    if (fd_ >= 0) ::close(fd_);
    throw DatabaseError("cannot open " + path + ": " + message);
  }
  sqlite3_commit_hook(
      db_,
      [](void* activity) {
        ++static_cast<Activity*>(activity)->commits;
        return 0;
      },
      &activity_);
  try {
    sqlite3_busy_timeout(db_, static_cast<int>(busyTime.count()));
    Execute("PRAGMA journal_mode=WAL");
    Execute("PRAGMA synchronous=NORMAL");
    Execute(
        "CREATE TABLE IF NOT EXISTS accounts ("
        " domain TEXT PRIMARY KEY COLLATE NOCASE,"
        " password TEXT NOT NULL)");
    Execute(
        "CREATE TABLE IF NOT EXISTS records ("
        " domain TEXT PRIMARY KEY COLLATE NOCASE,"
        " address TEXT NOT NULL,"
        " mx INTEGER NOT NULL,"
        " updated INTEGER NOT NULL)");
    // One row per domain: only the newest state matters to the DNS server.
    Execute(
        "CREATE TABLE IF NOT EXISTS dns_queue ("
        " domain TEXT PRIMARY KEY COLLATE NOCASE,"
        " address TEXT NOT NULL,"
        " mx INTEGER NOT NULL,"
        " version INTEGER NOT NULL,"
        " attempts INTEGER NOT NULL,"
        " next_try INTEGER NOT NULL)");
    PreparedStatement last(*this, "SELECT coalesce(max(version), 0) FROM dns_queue");
    if (last.Step()) lastVersion_ = last.Int(0);
  } catch (...) {
    for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
    sqlite3_close(db_);
    if (fd_ >= 0) ::close(fd_);
    throw;
  }
}

Database::~Database() {
  for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
  sqlite3_close(db_);
  // Only after SQLite let go: closing any descriptor of the file drops its locks.
  if (fd_ >= 0) ::close(fd_);
}

std::unique_lock<std::recursive_timed_mutex> Database::Lock() {
  std::unique_lock lock(mutex_, std::defer_lock);
  // Threads queued behind one that waits for another process must not wait in turn.
  if (!lock.try_lock_for(busyTime_)) throw DatabaseBusy("the database is busy");
  return lock;
}

void Database::Execute(const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    sqlite3_free(error);
    Fail();
  }
}

sqlite3_stmt* Database::Prepared(const char* sql) {
  const auto found = statements_.find(std::string_view(sql));
  if (found != statements_.end()) return found->second;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
      SQLITE_OK) {
    Fail();
  }
  statements_.emplace(sql, statement);
  ++activity_.compiled;
  return statement;
}

void Database::Fail() {
  const int code = sqlite3_errcode(db_);
  const std::string message = sqlite3_errmsg(db_);
  if (code == SQLITE_BUSY || code == SQLITE_LOCKED) throw DatabaseBusy(message);
  // These do not pass: the file under us is no longer the database we opened.
  if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_IOERR ||
      code == SQLITE_READONLY || code == SQLITE_CANTOPEN) {
    if (failure_.empty()) failure_ = "the database is damaged: " + message;
  }
  throw DatabaseError(message);
}

std::optional<std::string> Database::FileProblem() const {
  if (fd_ < 0) return std::nullopt;
  struct stat opened {};
  struct stat named {};
  if (::lstat(path_.c_str(), &named) != 0 || ::fstat(fd_, &opened) != 0) {
    return "the database file " + path_ + " was deleted";
  }
  if (named.st_ino != opened.st_ino || named.st_dev != opened.st_dev) {
    return "the database file " + path_ + " was replaced";
  }
  // Every SQLite database starts with this text, also in WAL mode once it has its tables.
  static constexpr char kMagic[] = "SQLite format 3";
  char head[sizeof kMagic] = {};
  if (::pread(fd_, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head) ||
      std::memcmp(head, kMagic, sizeof kMagic) != 0) {
    return "the database file " + path_ + " was overwritten";
  }
  return std::nullopt;
}

void Database::CheckFile() {
  if (failure_.empty()) {
    if (auto problem = FileProblem()) failure_ = *problem;
  }
  if (!failure_.empty()) throw DatabaseError(failure_);
}

std::optional<std::string> Database::Problem() {
  const auto lock = Lock();
  try {
    CheckFile();
  } catch (const DatabaseError&) {
    return failure_;
  }
  return std::nullopt;
}

bool Database::AddAccount(std::string_view domain, std::string_view password) {
  return Transaction([&] {
    const bool existed =
        PreparedStatement(*this, "SELECT 1 FROM accounts WHERE domain = ?1").Bind(1, domain).Step();
    PreparedStatement(*this,
                      "INSERT INTO accounts(domain, password) VALUES(?1, ?2) "
                      "ON CONFLICT(domain) DO UPDATE SET password = excluded.password")
        .Bind(1, domain)
        .Bind(2, password)
        .Step();
    return !existed;
  });
}

bool Database::RemoveAccount(std::string_view domain) {
  return Transaction([&] {
    PreparedStatement(*this, "DELETE FROM records WHERE domain = ?1").Bind(1, domain).Step();
    PreparedStatement remove(*this, "DELETE FROM accounts WHERE domain = ?1");
    remove.Bind(1, domain).Step();
    return remove.Changes() > 0;
  });
}

std::vector<std::string> Database::Accounts() {
  const auto lock = Lock();
  CheckFile();
  PreparedStatement select(*this, "SELECT domain FROM accounts ORDER BY domain COLLATE NOCASE");
  std::vector<std::string> domains;
  while (select.Step()) domains.push_back(select.Text(0));
  return domains;
}

std::optional<std::string> Database::PasswordOf(std::string_view domain) {
  const auto lock = Lock();
  CheckFile();
  PreparedStatement select(*this, "SELECT password FROM accounts WHERE domain = ?1");
  select.Bind(1, domain);
  if (!select.Step()) return std::nullopt;
  return select.Text(0);
}

void Database::SetRecord(const Record& record) {
  const auto lock = Lock();
  CheckFile();
  PreparedStatement(*this,
                    "INSERT INTO records(domain, address, mx, updated) VALUES(?1, ?2, ?3, ?4) "
                    "ON CONFLICT(domain) DO UPDATE SET domain = excluded.domain, "
                    "address = excluded.address, mx = excluded.mx, updated = excluded.updated")
      .Bind(1, record.domain)
      .Bind(2, record.address)
      .Bind(3, std::int64_t{record.mx ? 1 : 0})
      .Bind(4, record.updated)
      .Step();
}

bool Database::RemoveRecord(std::string_view domain) {
  const auto lock = Lock();
  CheckFile();
  PreparedStatement remove(*this, "DELETE FROM records WHERE domain = ?1");
  remove.Bind(1, domain).Step();
  return remove.Changes() > 0;
}

std::vector<Record> Database::Records() {
  const auto lock = Lock();
  CheckFile();
  PreparedStatement select(*this,
                           "SELECT domain, address, mx, updated FROM records "
                           "ORDER BY domain COLLATE NOCASE");
  std::vector<Record> records;
  while (select.Step()) {
    records.push_back({select.Text(0), select.Text(1), select.Int(2) != 0, select.Int(3)});
  }
  return records;
}

}  // namespace quorvix::service
