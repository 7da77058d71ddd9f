// The database under stress from outside: another process holding it, its file deleted,
// replaced or overwritten while serving, files left too open; and what one START costs it.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "cli.h"
#include "protocol/handler.h"
#include "protocol/signature.h"
#include "support/temp_dir.h"

namespace quorvix::service {
namespace {

namespace fs = std::filesystem;
using Values = std::vector<std::pair<std::string, std::string>>;
const Values kDown = {{"RET-CODE", "500"}, {"RET-INFO", kDatabaseInfo}};
const std::string kUpdate = "/QUORVIXDDNS/quorvixDDNS_server.asp",
                  kInfo = "/quorvixDDNS_GETUserIp.asp";

Values Send(Database& database, const std::string& query, const std::string& path = kUpdate) {
  return HandleProtocolRequest({path, query, "203.0.113.7", 1}, database, {}).values;
}
std::string Start(std::initializer_list<const char*> domains, const char* command = "START") {
  std::string list;
  for (const char* domain : domains) list += domain + ("|" + ExpectedSignature(domain, "pw") + ",");
  return std::string("Command=") + command + "&glbMX=False&DomainList=" + list;
}

// A START of three domains is one transaction; its statements are compiled only once.
TEST(DatabaseCost, OneTransactionPerStartAndStatementsCompiledOnce) {
  Database database(":memory:");
  for (const char* domain : {"a.example.com", "b.example.com", "c.example.com"})
    database.AddAccount(domain, "pw");
  const std::string start = Start({"a.example.com", "b.example.com", "c.example.com"});
  ASSERT_EQ(Send(database, start).at(1).second,
            "a.example.com|200,b.example.com|200,c.example.com|200,");
  const Database::Activity first = database.activity();
  for (int i = 0; i < 3; ++i) Send(database, start);
  EXPECT_EQ(database.activity().commits - first.commits, 3);
  EXPECT_EQ(database.activity().compiled, first.compiled);
}

// Another process holds the database: START and STOP refuse after the busy time (a lock that
// times out too, so no thread waits behind another's wait); GETIP and GETVER do not wait for
// it. Afterwards all works again.
TEST(DatabaseLocked, UpdatesAnswerServerErrorAndInformationStillAnswers) {
  quorvix::testing::TempDir dir;
  Database database(dir / "service.db", std::chrono::milliseconds(200));
  database.AddAccount("a.example.com", "pw");
  sqlite3* other = nullptr;
  sqlite3_open((dir / "service.db").c_str(), &other);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  // clang-format off
  const std::tuple<std::string, std::string, Values> cases[] = {
      {kUpdate, Start({"a.example.com"}), kDown}, {kUpdate, Start({"a.example.com"}, "STOP"), kDown},
      {kInfo, "Command=GETIP&glbMX=False&", {{"RET-CODE", "200"}, {"Y-IP", "203.0.113.7"}}},
      {kInfo, "Command=GETVER&glbMX=False&", {{"RET-CODE", "200"}, {"Major", "1"}, {"Minor", "1"}}}};
  // clang-format on
  for (const auto& [path, query, values] : cases) EXPECT_EQ(Send(database, query, path), values);
  EXPECT_EQ(database.Problem(), std::nullopt);
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(Send(database, Start({"a.example.com"})).at(1).second, "a.example.com|200,");
}

// The file deleted, overwritten or replaced under a running service: no more success, and
// `serve` stops with status 1, saying why.
TEST(DatabaseLost, ServiceStopsAnsweringSuccessAndExits) {
  // clang-format off
  const std::pair<const char*, void (*)(const std::string&)> cases[] = {
      {"deleted", [](const std::string& path) { fs::remove(path); }},
      {"overwritten", [](const std::string& path) { fs::resize_file(path, 0), fs::resize_file(path, 4096); }},
      {"replaced", [](const std::string& path) { fs::copy_file(path, path + "~"), fs::rename(path + "~", path); }}};
  // clang-format on
  for (const auto& [why, damage] : cases) {
    quorvix::testing::TempDir dir;
    const std::string path = dir / "service.db", log = dir / "log";
    {
      Database database(path);
      database.AddAccount("a.example.com", "pw");
      damage(path);
      EXPECT_EQ(Send(database, Start({"a.example.com"})), kDown) << why;
      EXPECT_EQ(database.Problem(), "the database file " + path + " was " + why);
    }
    fs::remove(path);
    int status = -1;
    std::thread serve([&] {
      std::istringstream in;
      std::ofstream out(log);  // each line flushed: readable while it runs
      status = RunCommandLine({"serve", "--port", "0", "--data", dir.path()}, in, out, out);
    });
    for (int i = 0;
         i < 200 && quorvix::testing::ReadFile(log).find("listening") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    damage(path);
    serve.join();
    EXPECT_EQ(status, 1) << why;
    EXPECT_NE(
        quorvix::testing::ReadFile(log).find("stopping: the database file " + path + " was " + why),
        std::string::npos);
  }
}

// The data folder and the database are private whatever was there before; a link is refused.
TEST(DatabaseFiles, MadePrivateAndLinksRefused) {
  // clang-format off
  const std::pair<void (*)(const std::string&), std::string> cases[] = {  // and the error
      {[](const std::string&) {}, ""},
      {[](const std::string& dir) {
         fs::create_directory(dir), std::ofstream(dir + "/service.db"), std::ofstream(dir + "/service.db-wal");
         fs::permissions(dir, fs::perms::all), fs::permissions(dir + "/service.db", fs::perms::all);
       }, ""},
      {[](const std::string& dir) { fs::create_directory(dir), fs::create_symlink("/etc/hostname", dir + "/service.db"); },
       "/service.db: a symbolic link is refused\n"},
      {[](const std::string& dir) { fs::create_directories(dir + "/service.db"); }, "/service.db: Is a directory\n"}};
  // clang-format on
  for (const auto& [prepare, error] : cases) {
    quorvix::testing::TempDir top;
    const std::string dir = top / "data";
    prepare(dir);
    std::istringstream in;
    std::ostringstream out;
    EXPECT_EQ(RunCommandLine({"account", "list", "--data", dir}, in, out, out),
              error.empty() ? 0 : 1);
    EXPECT_EQ(out.str(), error.empty() ? "" : "quorvix-service: cannot open " + dir + error);
    for (const char* file : {"", "/service.db", "/service.db-wal"}) {  // the journal if it is kept
      struct stat info {};
      if (::lstat((dir + file).c_str(), &info) == 0 && (error.empty() || !*file)) {
        EXPECT_EQ(info.st_mode & 0777, *file ? 0600u : 0700u) << dir << file;
      }
    }
  }
}

}  // namespace
}  // namespace quorvix::service
