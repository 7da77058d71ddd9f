// The service's accounts (domain names with their domain-management passwords), records (where
// each domain points) and the queue of DNS changes not yet confirmed, kept in SQLite so that they
// survive a restart. Safe to share between the server's threads: one connection, its statements
// prepared once, behind a lock that gives up after the busy time like SQLite itself does.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorvix::service {

struct Record {
  std::string domain;
  std::string address;
  bool mx = false;
  std::int64_t updated = 0;  // seconds since 1970, UTC
};

// What the DNS server must come to hold for one domain: its A (and MX) records, or nothing.
struct DnsChange {
  std::string domain;
  std::string address;  // empty when the records are to be removed
  bool mx = false;
  std::int64_t version = 0;  // grows with every change queued in this process
  int attempts = 0;
  std::int64_t nextTry = 0;  // seconds since 1970
};

class DatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Another process holds the database longer than the busy time.
class DatabaseBusy : public DatabaseError {
 public:
  using DatabaseError::DatabaseError;
};

class Database {
 public:
  // Opens or creates the database file (":memory:" for a private one), private to its owner; a
  // symbolic link or anything but a regular file is refused. Throws DatabaseError.
  explicit Database(const std::string& path,
                    std::chrono::milliseconds busyTime = std::chrono::milliseconds(2000));
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Runs `work` as one transaction: all its changes or none. Calls may nest in the same thread.
  template <typename Work>
  auto Transaction(Work work) {
    const auto lock = Lock();
    CheckFile();
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

  // Domains compare without regard to letter case, as DNS names do.
  // Adds an account or replaces its password; true when it is new.
  bool AddAccount(std::string_view domain, std::string_view password);
  // Removes the account and its record; false when there was none.
  bool RemoveAccount(std::string_view domain);
  std::vector<std::string> Accounts();
  std::optional<std::string> PasswordOf(std::string_view domain);

  void SetRecord(const Record& record);
  bool RemoveRecord(std::string_view domain);
  std::vector<Record> Records();

  // Queues the state the DNS server must reach for a domain, replacing any queued earlier;
  // returns its version.
  std::int64_t QueueDnsChange(std::string_view domain, std::string_view address, bool mx,
                              std::int64_t now);
  // The queued changes due at `now`, oldest first, at most `limit`.
  std::vector<DnsChange> DueDnsChanges(std::int64_t now, int limit);
  // The earliest time a queued change is due, if any.
  std::optional<std::int64_t> NextDnsChangeDue();
  // The server confirmed this version: forgotten unless a newer one was queued meanwhile.
  void ConfirmDnsChange(std::string_view domain, std::int64_t version);
  void PostponeDnsChange(std::string_view domain, std::int64_t version, int attempts,
                         std::int64_t nextTry);

  // What this connection did so far: transactions committed and statements compiled.
  struct Activity {
    int commits = 0;
    int compiled = 0;
  };
  Activity activity() const { return activity_; }

  // Why the database can no longer be trusted (its file deleted, replaced or overwritten, or
  // SQLite found it corrupt), or nothing while it is sound.
  std::optional<std::string> Problem();

 private:
  std::unique_lock<std::recursive_timed_mutex> Lock();
  void Execute(const char* sql);
  sqlite3_stmt* Prepared(const char* sql);
  void CheckFile();  // throws DatabaseError when Problem() says anything
  std::optional<std::string> FileProblem() const;
  [[noreturn]] void Fail();

  friend class PreparedStatement;

  std::recursive_timed_mutex mutex_;
  std::chrono::milliseconds busyTime_;
  sqlite3* db_ = nullptr;
  std::map<std::string, sqlite3_stmt*, std::less<>> statements_;
  std::string path_;
  int fd_ = -1;  // the file as opened: to see it deleted or replaced under us
  std::string failure_;
  std::int64_t lastVersion_ = 0;
  Activity activity_;
};

}  // namespace quorvix::service
