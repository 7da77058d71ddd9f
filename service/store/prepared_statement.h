// The statements the database keeps compiled, used one at a time under its lock.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "store/database.h"

namespace quorvix::service {

// A cached statement, reset and cleared of its values on every path out so the next use starts
// afresh.
class PreparedStatement {
 public:
  PreparedStatement(Database& database, const char* sql)
      : database_(database), statement_(database.Prepared(sql)) {}
  ~PreparedStatement() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  PreparedStatement(const PreparedStatement&) = delete;
  PreparedStatement& operator=(const PreparedStatement&) = delete;

  PreparedStatement& Bind(int index, std::string_view text) {
    if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK) {
      database_.Fail();
    }
    return *this;
  }
  PreparedStatement& Bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) database_.Fail();
    return *this;
  }
  // True while a row is ready.
  bool Step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) database_.Fail();
    return false;
  }
  std::string Text(int column) const {
    const auto* text = sqlite3_column_text(statement_, column);
    return text == nullptr ? std::string() : reinterpret_cast<const char*>(text);
  }
  std::int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
  bool Null(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
  int Changes() const { return sqlite3_changes(database_.db_); }

 private:
  Database& database_;
  sqlite3_stmt* statement_;
};

}  // namespace quorvix::service
