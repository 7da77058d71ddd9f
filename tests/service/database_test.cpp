#include "store/database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace quorvix::service {
namespace {

using testing::TempDir;

std::vector<std::string> Describe(const std::vector<Record>& records) {
  std::vector<std::string> lines;
  for (const Record& record : records) {
    lines.push_back(record.domain + " " + record.address + " mx=" + (record.mx ? "1" : "0") + " " +
                    std::to_string(record.updated));
  }
  return lines;
}

// Runs SQL on the file through a connection of its own, as another process would.
void ExecuteBeside(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
  const std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << message;
}

TEST(Database, AddTellsNewFromChanged) {
  Database database(":memory:");
  EXPECT_TRUE(database.AddAccount("demo.example.com", "first"));
  EXPECT_EQ(database.PasswordOf("demo.example.com"), std::optional<std::string>("first"));
  EXPECT_FALSE(database.AddAccount("demo.example.com", "second"));
  EXPECT_EQ(database.PasswordOf("demo.example.com"), std::optional<std::string>("second"));
  // Another spelling of the same name is the same account.
  EXPECT_FALSE(database.AddAccount("DEMO.Example.com", "third"));
  EXPECT_EQ(database.PasswordOf("demo.EXAMPLE.com"), std::optional<std::string>("third"));
  EXPECT_EQ(database.Accounts().size(), 1u);
  EXPECT_EQ(database.PasswordOf("other.example.com"), std::nullopt);
}

TEST(Database, PasswordsAreKeptByteForByte) {
  Database database(":memory:");
  for (const std::string password : {"p|q", "a b ", "€5", "'; DROP TABLE accounts; --"}) {
    database.AddAccount("demo.example.com", password);
    EXPECT_EQ(database.PasswordOf("demo.example.com"), std::optional<std::string>(password));
  }
}

TEST(Database, ListsAccountsAndRecordsInNameOrder) {
  Database database(":memory:");
  for (const char* domain : {"b.org", "C.net", "a.com"}) database.AddAccount(domain, "pw");
  EXPECT_EQ(database.Accounts(), (std::vector<std::string>{"a.com", "b.org", "C.net"}));
  database.SetRecord({"c.net", "192.0.2.3", false, 3});
  database.SetRecord({"A.com", "192.0.2.1", true, 1});
  database.SetRecord({"b.org", "192.0.2.2", false, 2});
  EXPECT_EQ(Describe(database.Records()),
            (std::vector<std::string>{"A.com 192.0.2.1 mx=1 1", "b.org 192.0.2.2 mx=0 2",
                                      "c.net 192.0.2.3 mx=0 3"}));
}

TEST(Database, SetRecordReplacesTheDomainsRecord) {
  Database database(":memory:");
  database.SetRecord({"demo.example.com", "192.0.2.1", true, 10});
  database.SetRecord({"Demo.Example.com", "192.0.2.9", false, 20});
  EXPECT_EQ(Describe(database.Records()),
            std::vector<std::string>{"Demo.Example.com 192.0.2.9 mx=0 20"});
}

TEST(Database, RemoveTakesTheRecordAlong) {
  Database database(":memory:");
  database.AddAccount("demo.example.com", "pw");
  database.AddAccount("two.example.net", "pw");
  database.SetRecord({"demo.example.com", "192.0.2.1", false, 1});
  database.SetRecord({"two.example.net", "192.0.2.2", false, 2});
  EXPECT_TRUE(database.RemoveAccount("DEMO.example.com"));
  EXPECT_EQ(database.Accounts(), std::vector<std::string>{"two.example.net"});
  EXPECT_EQ(database.PasswordOf("demo.example.com"), std::nullopt);
  EXPECT_EQ(Describe(database.Records()),
            std::vector<std::string>{"two.example.net 192.0.2.2 mx=0 2"});
  EXPECT_FALSE(database.RemoveAccount("demo.example.com"));
}

TEST(Database, RemoveOfAMissingAccountChangesNothing) {
  Database database(":memory:");
  database.AddAccount("demo.example.com", "pw");
  database.SetRecord({"demo.example.com", "192.0.2.1", false, 1});
  EXPECT_FALSE(database.RemoveAccount("nobody.example.org"));
  EXPECT_FALSE(database.RemoveAccount("demo.example"));
  EXPECT_EQ(database.Accounts(), std::vector<std::string>{"demo.example.com"});
  EXPECT_EQ(Describe(database.Records()),
            std::vector<std::string>{"demo.example.com 192.0.2.1 mx=0 1"});
}

TEST(Database, RemoveRecordReportsWhetherThereWasOne) {
  Database database(":memory:");
  database.SetRecord({"demo.example.com", "192.0.2.1", false, 1});
  EXPECT_TRUE(database.RemoveRecord("DEMO.example.com"));
  EXPECT_FALSE(database.RemoveRecord("demo.example.com"));
  EXPECT_TRUE(database.Records().empty());
}

TEST(Database, SurvivesReopening) {
  TempDir dir;
  const std::string path = dir / "service.db";
  {
    Database database(path);
    database.AddAccount("demo.example.com", "Sesame-42");
    database.AddAccount("two.example.net", "second#2");
    database.SetRecord({"demo.example.com", "192.0.2.1", true, 1700000000});
    database.SetRecord({"two.example.net", "192.0.2.2", false, 1700000001});
    database.RemoveRecord("two.example.net");
  }
  Database reopened(path);
  EXPECT_EQ(reopened.Accounts(), (std::vector<std::string>{"demo.example.com", "two.example.net"}));
  EXPECT_EQ(reopened.PasswordOf("two.example.net"), std::optional<std::string>("second#2"));
  EXPECT_EQ(Describe(reopened.Records()),
            std::vector<std::string>{"demo.example.com 192.0.2.1 mx=1 1700000000"});
}

TEST(Database, TwoConnectionsSeeEachOthersChanges) {
  // The command line changes accounts while the server runs on the same file.
  TempDir dir;
  const std::string path = dir / "service.db";
  Database server(path);
  Database commandLine(path);
  commandLine.AddAccount("demo.example.com", "pw");
  EXPECT_EQ(server.PasswordOf("demo.example.com"), std::optional<std::string>("pw"));
  server.SetRecord({"demo.example.com", "192.0.2.1", false, 1});
  EXPECT_TRUE(commandLine.RemoveAccount("demo.example.com"));
  EXPECT_TRUE(server.Records().empty());
}

TEST(Database, RemoveAccountIsOneTransaction) {
  TempDir dir;
  const std::string path = dir / "service.db";
  Database database(path);
  database.AddAccount("demo.example.com", "pw");
  database.SetRecord({"demo.example.com", "192.0.2.1", false, 1});
  // Make the second half of the removal fail.
  ExecuteBeside(path,
                "CREATE TRIGGER refuse BEFORE DELETE ON accounts "
                "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  EXPECT_THROW(database.RemoveAccount("demo.example.com"), DatabaseError);
  EXPECT_EQ(database.Accounts(), std::vector<std::string>{"demo.example.com"});
  EXPECT_EQ(Describe(database.Records()),
            std::vector<std::string>{"demo.example.com 192.0.2.1 mx=0 1"});
  // The failed transaction was rolled back, not left open: the next change works and lasts.
  ExecuteBeside(path, "DROP TRIGGER refuse");
  EXPECT_TRUE(database.AddAccount("two.example.net", "pw"));
  EXPECT_TRUE(database.RemoveAccount("demo.example.com"));
  Database reopened(path);
  EXPECT_EQ(reopened.Accounts(), std::vector<std::string>{"two.example.net"});
  EXPECT_TRUE(reopened.Records().empty());
}

TEST(Database, UnopenablePathThrows) {
  TempDir dir;
  EXPECT_THROW(Database(dir / "missing/folder/service.db"), DatabaseError);
}

}  // namespace
}  // namespace quorvix::service
