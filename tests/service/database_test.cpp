#include "store/database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

#include "service/record_lines.h"
#include "support/temp_dir.h"

namespace quorvix::service {
namespace {

using testing::TempDir;
using Lines = std::vector<std::string>;
using Password = std::optional<std::string>;

TEST(Database, AccountsIgnoreLetterCaseAndKeepPasswordsByteForByte) {
  Database database(":memory:");
  EXPECT_TRUE(database.AddAccount("demo.example.com", "first"));
  EXPECT_FALSE(database.AddAccount("DEMO.Example.com", "second"));
  EXPECT_EQ(database.PasswordOf("demo.EXAMPLE.com"), Password("second"));
  EXPECT_EQ(database.PasswordOf("other.example.com"), std::nullopt);
  for (const std::string password : {"p|q", "a b ", "€5", "'; DROP TABLE accounts; --"}) {
    database.AddAccount("demo.example.com", password);
    EXPECT_EQ(database.PasswordOf("demo.example.com"), Password(password));
  }
  for (const char* domain : {"b.org", "C.net"}) database.AddAccount(domain, "pw");
  EXPECT_EQ(database.Accounts(), (Lines{"b.org", "C.net", "demo.example.com"}));
}

TEST(Database, RecordsLastAndAreSharedBetweenConnections) {
  TempDir dir;
  const std::string path = dir / "service.db";
  {
    Database database(path);
    database.AddAccount("demo.example.com", "Sesame-42");
    database.AddAccount("two.example.net", "second#2");
    database.SetRecord({"two.example.net", "192.0.2.2", true, 2});
    database.SetRecord({"c.net", "192.0.2.3", false, 3});
    database.SetRecord({"demo.example.com", "192.0.2.1", true, 10});
  }
  // The command line changes accounts while the server runs on the same file.
  Database server(path);
  Database commandLine(path);
  EXPECT_EQ(server.PasswordOf("two.example.net"), Password("second#2"));
  server.SetRecord({"Demo.Example.com", "192.0.2.9", false, 1700000000});
  EXPECT_EQ(Describe(commandLine.Records()),
            (Lines{"c.net 192.0.2.3 mx=0 3", "Demo.Example.com 192.0.2.9 mx=0 1700000000",
                   "two.example.net 192.0.2.2 mx=1 2"}));
  EXPECT_TRUE(server.RemoveRecord("C.NET"));
  EXPECT_FALSE(server.RemoveRecord("c.net"));
  // Removing an account takes its record along; a missing one changes nothing.
  EXPECT_TRUE(commandLine.RemoveAccount("DEMO.example.com"));
  EXPECT_FALSE(commandLine.RemoveAccount("demo.example.com"));
  EXPECT_FALSE(commandLine.RemoveAccount("two.example"));
  EXPECT_EQ(server.Accounts(), Lines{"two.example.net"});
  EXPECT_EQ(Describe(server.Records()), Lines{"two.example.net 192.0.2.2 mx=1 2"});
}

TEST(Database, RemoveAccountIsOneTransaction) {
  TempDir dir;
  const std::string path = dir / "service.db";
  Database database(path);
  database.AddAccount("demo.example.com", "pw");
  database.SetRecord({"demo.example.com", "192.0.2.1", false, 1});
  // Make the second half of the removal fail, through a connection of its own.
  sqlite3* beside = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &beside), SQLITE_OK);
  const auto execute = [beside](const char* sql) {
    return sqlite3_exec(beside, sql, nullptr, nullptr, nullptr);
  };
  ASSERT_EQ(execute("CREATE TRIGGER refuse BEFORE DELETE ON accounts "
                    "BEGIN SELECT RAISE(ABORT, 'refused'); END"),
            SQLITE_OK);
  EXPECT_THROW(database.RemoveAccount("demo.example.com"), DatabaseError);
  EXPECT_EQ(database.Accounts(), Lines{"demo.example.com"});
  EXPECT_EQ(Describe(database.Records()), Lines{"demo.example.com 192.0.2.1 mx=0 1"});
  // The failed transaction was rolled back, not left open: the next change works and lasts.
  ASSERT_EQ(execute("DROP TRIGGER refuse"), SQLITE_OK);
  sqlite3_close(beside);
  EXPECT_TRUE(database.RemoveAccount("demo.example.com"));
  Database reopened(path);
  EXPECT_TRUE(reopened.Accounts().empty());
  EXPECT_TRUE(reopened.Records().empty());
}

TEST(Database, UnopenablePathThrows) {
  TempDir dir;
  EXPECT_THROW(Database(dir / "missing/folder/service.db"), DatabaseError);
}

}  // namespace
}  // namespace quorvix::service
