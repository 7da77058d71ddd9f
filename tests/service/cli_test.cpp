#include "cli.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "store/database.h"
#include "support/temp_dir.h"

namespace quorvix::service {
namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

class CommandLine : public ::testing::Test {
 protected:
  // Runs the words with "--data" pointing at this test's folder. No password is ever printed.
  Outcome Call(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.end(), {"--data", dir.path()});
    std::istringstream in(input);
    std::ostringstream out, err;
    const Outcome outcome{RunCommandLine(args, in, out, err), out.str(), err.str()};
    for (const char* password : {"Sesame-42", "second#2", "new|pw", "Sesame,42", "密码42"}) {
      EXPECT_EQ((outcome.out + outcome.err).find(password), std::string::npos)
          << outcome.out << outcome.err;
    }
    return outcome;
  }

  Outcome Add(const std::string& domain, const std::string& input) {
    return Call({"account", "add", domain, "--password-stdin"}, input);
  }

  quorvix::testing::TempDir dir;
};

TEST_F(CommandLine, ManagesAccountsAndShowsRecords) {
  EXPECT_EQ(Add("two.example.net", "second#2\n").out, "added two.example.net\n");
  const Outcome added = Add("demo.example.com", "Sesame-42\n");
  EXPECT_EQ(added.status, 0) << added.err;
  EXPECT_EQ(added.out, "added demo.example.com\n");
  // The line end, CR LF included, is not kept in the password.
  EXPECT_EQ(Add("demo.example.com", "new|pw\r\n").out,
            "changed the password of demo.example.com\n");
  struct stat info {};
  ASSERT_EQ(::stat((dir / "service.db").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  {
    Database database(dir / "service.db");
    EXPECT_EQ(database.PasswordOf("demo.example.com"), std::optional<std::string>("new|pw"));
    database.SetRecord({"two.example.net", "198.51.100.20", false, 0});
    database.SetRecord({"demo.example.com", "203.0.113.7", true, 1700000000});
  }
  EXPECT_EQ(Call({"account", "list"}).out, "demo.example.com\ntwo.example.net\n");
  EXPECT_EQ(Call({"records"}).out,
            "demo.example.com\t203.0.113.7\tmx=yes\t2023-11-14T22:13:20Z\n"
            "two.example.net\t198.51.100.20\tmx=no\t1970-01-01T00:00:00Z\n");
  EXPECT_EQ(Call({"account", "remove", "demo.example.com"}).out, "removed demo.example.com\n");
  EXPECT_EQ(Call({"account", "list"}).out, "two.example.net\n");
  EXPECT_EQ(Call({"records"}).out, "two.example.net\t198.51.100.20\tmx=no\t1970-01-01T00:00:00Z\n");
  const Outcome again = Call({"account", "remove", "demo.example.com"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.out, "");
  EXPECT_NE(again.err.find("demo.example.com"), std::string::npos) << again.err;
}

TEST_F(CommandLine, BadCallsExitWithTwoAndAddNothing) {
  const struct {
    std::vector<std::string> args;
    std::string input;
    int status;
  } cases[] = {
      {{"--help"}, "", 0},
      {{}, "", 2},
      {{"frobnicate"}, "", 2},
      {{"account", "list", "--bogus"}, "", 2},
      {{"serve", "--port", "70000"}, "", 2},
      {{"records", "extra"}, "", 2},
      {{"account", "add", "--password-stdin"}, "pw\n", 2},
      {{"account", "add", "localhost", "--password-stdin"}, "pw\n", 2},
      {{"account", "add", "a|b.com", "--password-stdin"}, "pw\n", 2},
      {{"account", "add", "demo.example.com", "--password-stdin"}, "\n", 2},
      {{"account", "add", "demo.example.com", "--password-stdin"}, "Sesame,42\n", 2},
      {{"account", "add", "demo.example.com", "--password-stdin"}, "密码42\n", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args) + c.input);
    const Outcome run = Call(c.args, c.input);
    EXPECT_EQ(run.status, c.status);
    if (c.status == 0) {
      EXPECT_EQ(run.out.rfind("Usage: quorvix-service", 0), 0u) << run.out;
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_NE(run.err, "");
    }
  }
  EXPECT_EQ(Call({"account", "list"}).out, "");
}

}  // namespace
}  // namespace quorvix::service
