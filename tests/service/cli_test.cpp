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

using testing::TempDir;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

class CommandLine : public ::testing::Test {
 protected:
  // Runs the words with "--data" pointing at this test's folder.
  Outcome Call(std::vector<std::string> args, const std::string& input = "") {
    args.push_back("--data");
    args.push_back(dir.path());
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunCommandLine(args, in, out, err);
    return {status, out.str(), err.str()};
  }

  Outcome Add(const std::string& domain, const std::string& password) {
    return Call({"account", "add", domain, "--password-stdin"}, password + "\n");
  }

  std::string DatabasePath() const { return dir / "service.db"; }

  TempDir dir;
};

TEST_F(CommandLine, AddReadsThePasswordFromStandardInput) {
  const Outcome added = Add("demo.example.com", "Sesame-42");
  EXPECT_EQ(added.status, 0) << added.err;
  EXPECT_EQ(added.out, "added demo.example.com\n");
  const Outcome changed =
      Call({"account", "add", "demo.example.com", "--password-stdin"}, "new|pw\r\n");
  EXPECT_EQ(changed.status, 0) << changed.err;
  EXPECT_EQ(changed.out, "changed the password of demo.example.com\n");
  Database database(DatabasePath());
  // The line end, CR LF included, is not part of the password.
  EXPECT_EQ(database.PasswordOf("demo.example.com"), std::optional<std::string>("new|pw"));
}

TEST_F(CommandLine, TheDataFileIsPrivate) {
  ASSERT_EQ(Add("demo.example.com", "Sesame-42").status, 0);
  struct stat info {};
  ASSERT_EQ(::stat(DatabasePath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(CommandLine, ListNeverPrintsPasswords) {
  ASSERT_EQ(Add("two.example.net", "second#2").status, 0);
  ASSERT_EQ(Add("demo.example.com", "Sesame-42").status, 0);
  const Outcome list = Call({"account", "list"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, "demo.example.com\ntwo.example.net\n");
  EXPECT_EQ(list.err, "");
}

TEST_F(CommandLine, RemoveTakesAccountAndRecord) {
  ASSERT_EQ(Add("demo.example.com", "Sesame-42").status, 0);
  ASSERT_EQ(Add("two.example.net", "second#2").status, 0);
  {
    Database database(DatabasePath());
    database.SetRecord({"demo.example.com", "192.0.2.1", false, 1});
  }
  const Outcome removed = Call({"account", "remove", "demo.example.com"});
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_EQ(removed.out, "removed demo.example.com\n");
  EXPECT_EQ(Call({"account", "list"}).out, "two.example.net\n");
  EXPECT_EQ(Call({"records"}).out, "");

  const Outcome again = Call({"account", "remove", "demo.example.com"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.out, "");
  EXPECT_NE(again.err.find("demo.example.com"), std::string::npos) << again.err;
}

TEST_F(CommandLine, RecordsShowWhereEachDomainPoints) {
  ASSERT_EQ(Add("demo.example.com", "Sesame-42").status, 0);
  ASSERT_EQ(Add("two.example.net", "second#2").status, 0);
  {
    Database database(DatabasePath());
    database.SetRecord({"two.example.net", "198.51.100.20", false, 0});
    database.SetRecord({"demo.example.com", "203.0.113.7", true, 1700000000});
  }
  const Outcome records = Call({"records"});
  EXPECT_EQ(records.status, 0) << records.err;
  EXPECT_EQ(records.out,
            "demo.example.com\t203.0.113.7\tmx=yes\t2023-11-14T22:13:20Z\n"
            "two.example.net\t198.51.100.20\tmx=no\t1970-01-01T00:00:00Z\n");
}

TEST_F(CommandLine, HelpShowsUsage) {
  const Outcome help = Call({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: quorvix-service", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");
}

struct BadCall {
  const char* name;
  std::vector<std::string> args;
  std::string input;
  int status;
};

void PrintTo(const BadCall& c, std::ostream* out) { *out << c.name; }

class Refused : public CommandLine, public ::testing::WithParamInterface<BadCall> {};

TEST_P(Refused, ExitsWithStatusAndAddsNothing) {
  const Outcome run = Call(GetParam().args, GetParam().input);
  EXPECT_EQ(run.status, GetParam().status);
  EXPECT_FALSE(run.err.empty());
  // Whatever was refused left no account behind.
  EXPECT_EQ(Call({"account", "list"}).out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Calls, Refused,
    ::testing::Values(
        BadCall{"NoCommand", {}, "", 2}, BadCall{"UnknownCommand", {"frobnicate"}, "", 2},
        BadCall{"UnknownOption", {"account", "list", "--bogus"}, "", 2},
        BadCall{"PortWithoutNumber", {"serve", "--port", "http"}, "", 2},
        BadCall{"PortOutOfRange", {"serve", "--port", "70000"}, "", 2},
        BadCall{"AccountWithoutAction", {"account"}, "", 2},
        BadCall{"AddWithoutDomain", {"account", "add", "--password-stdin"}, "pw\n", 2},
        BadCall{"RecordsWithOperand", {"records", "extra"}, "", 2},
        BadCall{"DomainWithUnderscore",
                {"account", "add", "bad_name.example.com", "--password-stdin"},
                "pw\n",
                2},
        BadCall{"DomainWithoutDot", {"account", "add", "localhost", "--password-stdin"}, "pw\n", 2},
        BadCall{"DomainWithBar", {"account", "add", "a|b.com", "--password-stdin"}, "pw\n", 2},
        BadCall{
            "EmptyPassword", {"account", "add", "demo.example.com", "--password-stdin"}, "\n", 2},
        BadCall{
            "NoPasswordAtAll", {"account", "add", "demo.example.com", "--password-stdin"}, "", 2},
        BadCall{"PasswordWithComma",
                {"account", "add", "demo.example.com", "--password-stdin"},
                "a,b\n",
                2},
        BadCall{"DoubleBytePassword",
                {"account", "add", "demo.example.com", "--password-stdin"},
                "密码\n",
                2},
        BadCall{"RemoveMissing", {"account", "remove", "demo.example.com"}, "", 1}),
    [](const ::testing::TestParamInfo<BadCall>& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace quorvix::service
