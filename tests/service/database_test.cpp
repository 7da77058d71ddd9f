// The database under stress from outside: another process holding it, its file deleted or
// overwritten while serving, files and folders left too open, and what one START costs it.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli.h"
#include "protocol/handler.h"
#include "protocol/signature.h"
#include "support/temp_dir.h"

namespace quorvix::service {
namespace {

using quorvix::testing::TempDir;
using Values = std::vector<std::pair<std::string, std::string>>;

const std::string kUpdate = "/QUORVIXDDNS/quorvixDDNS_server.asp";
const Values kDatabaseDown = {{"RET-CODE", "500"}, {"RET-INFO", kDatabaseInfo}};

std::string List(std::initializer_list<const char*> domains) {
  std::string list;
  for (const char* domain : domains) list += std::string(domain) + "|" + ExpectedSignature(domain, "pw") + ",";
  return list;
}

ServiceReply Start(Database& database, const std::string& list) {
  return HandleProtocolRequest(
      {kUpdate, "Command=START&glbMX=False&DomainList=" + list, "203.0.113.7", 1700000000},
      database, {});
}

// A START of three domains is one transaction, and its statements are compiled only once.
TEST(DatabaseCost, OneTransactionPerStartAndStatementsCompiledOnce) {
  Database database(":memory:");
  for (const char* domain : {"a.example.com", "b.example.com", "c.example.com"}) {
    database.AddAccount(domain, "pw");
  }
  const std::string list = List({"a.example.com", "b.example.com", "c.example.com"});
  ASSERT_EQ(Start(database, list).values.at(1).second,
            "a.example.com|200,b.example.com|200,c.example.com|200,");
  const Database::Activity first = database.activity();
  for (int i = 0; i < 3; ++i) Start(database, list);
  const Database::Activity later = database.activity();
  EXPECT_EQ(later.commits - first.commits, 3);
  EXPECT_EQ(later.compiled, first.compiled);
  EXPECT_EQ(database.Records().size(), 3u);
}

// Another process holds the database: START and STOP say so within the busy time; GETIP and
// GETVER do not wait for it. Afterwards all works again.
TEST(DatabaseLocked, UpdatesAnswerServerErrorAndInformationStillAnswers) {
  TempDir dir;
  Database database(dir / "service.db", std::chrono::milliseconds(200));
  database.AddAccount("a.example.com", "pw");
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((dir / "service.db").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  const struct {
    std::string path, query;
    Values values;
  } cases[] = {
      {kUpdate, "Command=START&glbMX=False&DomainList=" + List({"a.example.com"}), kDatabaseDown},
      {kUpdate, "Command=STOP&glbMX=False&DomainList=" + List({"a.example.com"}), kDatabaseDown},
      {"/quorvixDDNS_GETUserIp.asp", "Command=GETIP&glbMX=False&",
       {{"RET-CODE", "200"}, {"Y-IP", "203.0.113.7"}}},
      {"/quorvixDDNS_GETUserIp.asp", "Command=GETVER&glbMX=False&",
       {{"RET-CODE", "200"}, {"Major", "1"}, {"Minor", "1"}}}};
  // Several at once, as the server's threads would: none may wait behind another's wait.
  std::vector<std::thread> threads;
  std::vector<ServiceReply> replies(8);
  for (std::size_t i = 0; i < replies.size(); ++i) {
    threads.emplace_back([&, i] {
      const auto& c = cases[i % std::size(cases)];
      replies[i] = HandleProtocolRequest({c.path, c.query, "203.0.113.7", 1}, database, {});
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t i = 0; i < replies.size(); ++i) {
    EXPECT_EQ(replies[i].values, cases[i % std::size(cases)].values) << cases[i % 4].query;
  }
  EXPECT_EQ(database.Problem(), std::nullopt);
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(Start(database, List({"a.example.com"})).values,
            (Values{{"RET-CODE", "200"}, {"RET-DMLIST", "a.example.com|200,"}}));
}

// The file deleted or overwritten under a running service: no more success, and `serve`
// stops with status 1, saying why.
TEST(DatabaseLost, ServiceStopsAnsweringSuccessAndExits) {
  const struct {
    const char* name;
    void (*damage)(const std::string& path);
    const char* why;
  } cases[] = {
      {"deleted", [](const std::string& path) { ::unlink(path.c_str()); }, "was deleted"},
      {"overwritten",
       [](const std::string& path) {
         std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
         file << std::string(4096, 'x');
       },
       "was overwritten"},
      {"replaced",
       [](const std::string& path) {
         std::filesystem::copy_file(path, path + ".new");
         std::filesystem::rename(path + ".new", path);
       },
       "was replaced"}};
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = dir / "service.db";
    {
      Database database(path);
      database.AddAccount("a.example.com", "pw");
      c.damage(path);
      EXPECT_EQ(Start(database, List({"a.example.com"})).values, kDatabaseDown) << c.name;
      ASSERT_TRUE(database.Problem()) << c.name;
      EXPECT_NE(database.Problem()->find(c.why), std::string::npos) << *database.Problem();
    }
    std::filesystem::remove(path);
    std::ostringstream out, err;
    int status = -1;
    std::thread serve([&] {
      std::istringstream in;
      status = RunCommandLine({"serve", "--port", "0", "--data", dir.path()}, in, out, err);
    });
    // The service's file exists with its tables before it listens.
    std::error_code missing;  // then the size is -1
    for (int i = 0; i < 200 && std::filesystem::file_size(path, missing) + 1 < 4097; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    c.damage(path);
    serve.join();
    EXPECT_EQ(status, 1) << c.name << err.str();
    EXPECT_NE(out.str().find(std::string("stopping: the database file ") + path + " " + c.why),
              std::string::npos)
        << out.str();
  }
}

// The data folder and the database are private whatever was there before; a link is refused.
TEST(DatabaseFiles, MadePrivateAndLinksRefused) {
  const struct {
    const char* name;
    void (*prepare)(const std::string& dir);
    int status;
  } cases[] = {
      {"new", [](const std::string&) {}, 0},
      {"open folder and database",
       [](const std::string& dir) {
         std::filesystem::create_directory(dir);
         ::chmod(dir.c_str(), 0755);
         std::ofstream(dir + "/service.db");
         ::chmod((dir + "/service.db").c_str(), 0644);
         std::ofstream(dir + "/service.db-wal");
         ::chmod((dir + "/service.db-wal").c_str(), 0666);
       },
       0},
      {"database is a link",
       [](const std::string& dir) {
         std::filesystem::create_directory(dir);
         std::ofstream(dir + "/elsewhere.db");
         std::filesystem::create_symlink(dir + "/elsewhere.db", dir + "/service.db");
       },
       1},
      {"database is a folder",
       [](const std::string& dir) { std::filesystem::create_directories(dir + "/service.db"); },
       1}};
  for (const auto& c : cases) {
    TempDir top;
    const std::string dir = top / "data";
    c.prepare(dir);
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(RunCommandLine({"account", "list", "--data", dir}, in, out, err), c.status)
        << c.name << ": " << err.str();
    struct stat info {};
    ASSERT_EQ(::stat(dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << c.name;
    if (c.status != 0) {
      EXPECT_NE(err.str().find("service.db"), std::string::npos) << c.name << err.str();
      continue;
    }
    for (const char* file : {"/service.db", "/service.db-wal"}) {
      if (::stat((dir + file).c_str(), &info) == 0) {
        EXPECT_EQ(info.st_mode & 0777, 0600u) << c.name << file;
      }
    }
  }
}

}  // namespace
}  // namespace quorvix::service
