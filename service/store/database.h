// The service's accounts (domain names with their domain-management passwords) and records
// (where each domain points), kept in SQLite so that they survive a restart. Every change is one
// transaction. Safe to share between the server's threads.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace quorvix::service {

struct Record {
  std::string domain;
  std::string address;
  bool mx = false;
  std::int64_t updated = 0;  // seconds since 1970, UTC
};

class DatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Database {
 public:
  // Opens or creates the database file (":memory:" for a private one). Throws DatabaseError.
  explicit Database(const std::string& path);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

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

 private:
  void Execute(const char* sql);
  template <typename Work>
  auto InTransaction(Work work);

  std::mutex mutex_;
  sqlite3* db_ = nullptr;
};

}  // namespace quorvix::service
