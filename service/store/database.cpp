#include "store/database.h"

#include <sqlite3.h>

namespace quorvix::service {
namespace {

// One prepared statement, finalized on every path out.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) Fail();
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::string_view text) {
    if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK) {
      Fail();
    }
    return *this;
  }
  Statement& Bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) Fail();
    return *this;
  }
  // True while a row is ready.
  bool Step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) Fail();
    return false;
  }
  std::string Text(int column) const {
    const auto* text = sqlite3_column_text(statement_, column);
    return text == nullptr ? std::string() : reinterpret_cast<const char*>(text);
  }
  std::int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
  int Changes() const { return sqlite3_changes(db_); }

 private:
  [[noreturn]] void Fail() const { throw DatabaseError(sqlite3_errmsg(db_)); }

  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace

Database::Database(const std::string& path) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    throw DatabaseError("cannot open " + path + ": " + message);
  }
  sqlite3_busy_timeout(db_, 5000);
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
}

Database::~Database() { sqlite3_close(db_); }

void Database::Execute(const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw DatabaseError(message);
  }
}

template <typename Work>
auto Database::InTransaction(Work work) {
  Execute("BEGIN IMMEDIATE");
  try {
    auto result = work();
    Execute("COMMIT");
    return result;
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

bool Database::AddAccount(std::string_view domain, std::string_view password) {
  std::lock_guard lock(mutex_);
  return InTransaction([&] {
    const bool existed =
        Statement(db_, "SELECT 1 FROM accounts WHERE domain = ?1").Bind(1, domain).Step();
    Statement(db_,
              "INSERT INTO accounts(domain, password) VALUES(?1, ?2) "
              "ON CONFLICT(domain) DO UPDATE SET password = excluded.password")
        .Bind(1, domain)
        .Bind(2, password)
        .Step();
    return !existed;
  });
}

bool Database::RemoveAccount(std::string_view domain) {
  std::lock_guard lock(mutex_);
  return InTransaction([&] {
    Statement(db_, "DELETE FROM records WHERE domain = ?1").Bind(1, domain).Step();
    Statement remove(db_, "DELETE FROM accounts WHERE domain = ?1");
    remove.Bind(1, domain).Step();
    return remove.Changes() > 0;
  });
}

std::vector<std::string> Database::Accounts() {
  std::lock_guard lock(mutex_);
  Statement select(db_, "SELECT domain FROM accounts ORDER BY domain COLLATE NOCASE");
  std::vector<std::string> domains;
  while (select.Step()) domains.push_back(select.Text(0));
  return domains;
}

std::optional<std::string> Database::PasswordOf(std::string_view domain) {
  std::lock_guard lock(mutex_);
  Statement select(db_, "SELECT password FROM accounts WHERE domain = ?1");
  select.Bind(1, domain);
  if (!select.Step()) return std::nullopt;
  return select.Text(0);
}

void Database::SetRecord(const Record& record) {
  std::lock_guard lock(mutex_);
  Statement(db_,
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
  std::lock_guard lock(mutex_);
  Statement remove(db_, "DELETE FROM records WHERE domain = ?1");
  remove.Bind(1, domain).Step();
  return remove.Changes() > 0;
}

std::vector<Record> Database::Records() {
  std::lock_guard lock(mutex_);
  Statement select(db_,
                   "SELECT domain, address, mx, updated FROM records "
                   "ORDER BY domain COLLATE NOCASE");
  std::vector<Record> records;
  while (select.Step()) {
    records.push_back({select.Text(0), select.Text(1), select.Int(2) != 0, select.Int(3)});
  }
  return records;
}

}  // namespace quorvix::service
