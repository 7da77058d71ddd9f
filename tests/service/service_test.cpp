// The reference service in-process, and its HTTP server on loopback through raw sockets.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli.h"
#include "http/server.h"
#include "protocol/reply_parse.h"
#include "protocol/signature.h"
#include "support/temp_dir.h"

namespace quorvix::service {
namespace {

using quorvix::testing::TempDir;
using Lines = std::vector<std::string>;
using Values = std::vector<std::pair<std::string, std::string>>;
using Ok = std::pair<int, std::string>;

constexpr std::string_view kDemo = "demo.example.com";
// printf '%s' 'demo.example.comSesame-42TQ59WM37hd' | iconv -t CP936 | md5sum, and so on.
constexpr std::string_view kDemoSig = "9747E97A781CE3300B351FE8E5196211";
constexpr std::string_view kTwoSig = "ACCF39B85572572586BD7DA9D5347350";  // two.example.net €5
constexpr std::string_view kMixedCaseSig = "5E1D5EB7B36FDE26D673878EA1FBC81B";  // Demo.Example.COM
const std::string kUpdate = "/QUORVIXDDNS/quorvixDDNS_server.asp";
const std::string kGetIp = "/quorvixDDNS_GETUserIp.asp?Command=GETIP&glbMX=False&";
const std::string kUnknown = "|404域名不存在,", kBadSig = "|403签名错误，请检查域名管理密码,";

std::string Item(std::string_view domain, std::string_view signature) {
  return std::string(domain) + "|" + std::string(signature) + ",";
}
std::string Query(std::string_view command, std::string_view list) {
  return "Command=" + std::string(command) + "&glbMX=False&DomainList=" + std::string(list);
}
Values Results(const std::string& list) { return {{"RET-CODE", "200"}, {"RET-DMLIST", list}}; }
void Beside(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  sqlite3_close(db);
}

// Requests in order, the Nth from 203.0.113.N at 1700000000 + N, and the records after each.
TEST(Handler, AnswersEachRequestAndChangesOnlyVerifiedRecords) {
  Database database(":memory:");
  database.AddAccount(kDemo, "Sesame-42");
  database.AddAccount("two.example.net", "€5");
  database.AddAccount("odd.example.org", "密码");  // unsignable: no signature matches
  database.SetRecord({std::string(kDemo), "198.51.100.9", false, 1600000000});
  const std::string good = Item(kDemo, kDemoSig), info = "/quorvixDDNS_GETUserIp.asp";
  const std::string old = "demo.example.com 198.51.100.9 1600000000;";
  const std::string demo = "demo.example.com 203.0.113.20 mx 1700000020;";
  const std::string two = "two.example.net 203.0.113.22 1700000022;";
  const Values empty = {{"RET-CODE", "500"}, {"RET-INFO", "域名列表为空"}},
               malformed = {{"RET-CODE", "500"}, {"RET-INFO", "域名列表格式错误"}};
  // clang-format off
  const struct { std::string path, query; int status; Values values; std::string records; } cases[] = {
      {kUpdate, Query("START", Item(kDemo, "9747e97a781ce3300b351fe8e5196211")), 200, Results("demo.example.com" + kBadSig), old},
      {kUpdate, Query("START", Item(kDemo, kDemoSig.substr(0, 31))), 200, Results("demo.example.com" + kBadSig), old},
      {kUpdate, Query("START", Item("odd.example.org", "")), 200, Results("odd.example.org" + kBadSig), old},
      // 'TQ59WM37hd' alone: an empty domain with an empty password.
      {kUpdate, Query("START", Item("", "D1D6F7CFD918C54B70E96910EF20A69B")), 200, Results(kUnknown), old},
      {kUpdate, Query("STOP", ",,,"), 200, empty, old},
      // One bad item refuses the whole list, the good ones before it included.
      {kUpdate, Query("START", good + "demo.example.com,"), 200, malformed, old},
      {kUpdate, Query("STOP", good + "junk"), 200, malformed, old},
      {info, "Command=GETIP&glbMX=True&", 200, {{"RET-CODE", "200"}, {"Y-IP", "203.0.113.7"}}, old},
      {info, "Command=GETVER&glbMX=False&", 200, {{"RET-CODE", "200"}, {"Major", "3"}, {"Minor", "7"}}, old},
      {kUpdate, "Command=GETIP&glbMX=False&", 400, {}, old},
      {info, Query("START", good), 400, {}, old},
      {info, "", 400, {}, old},
      {info, "Command=GETIP&glbMX=true&", 400, {}, old},
      {info, "Command=GETIP&", 400, {}, old},
      {info, "Command=GETIP&Command=GETIP&glbMX=False&", 400, {}, old},
      {info, "Command=GETIP&glbMX=False&glbMX=False&", 400, {}, old},
      {info, "Command=GETIP&glbMX=False&junk", 400, {}, old},
      {kUpdate, Query("START", good) + "&DomainList=" + good, 400, {}, old},
      {kUpdate, "Command=STOP&glbMX=True", 400, {}, old},
      {"/quorvixddns/quorvixddns_server.asp", Query("START", good), 404, {}, old},
      // Empty pieces and unknown names skipped, names in any order; items in order, empty ones skipped.
      {kUpdate, "&&DomainList=" + Item(kDemo, kTwoSig) + "," + Item("a=b", "c|d") + good + "&_=&x=1=2&glbMX=True&&Command=START", 200,
       Results("demo.example.com" + kBadSig + "a=b" + kUnknown + "demo.example.com|200,"), demo},
      {kUpdate + "/", Query("START", good), 404, {}, demo},
      // A later START moves the record, found without regard to case.
      {kUpdate, Query("START", Item("Demo.Example.COM", kMixedCaseSig) + Item("two.example.net", kTwoSig)), 200,
       Results("Demo.Example.COM|200,two.example.net|200,"), "Demo.Example.COM 203.0.113.22 1700000022;" + two},
      // The client shows a START failure from its 4th character and a STOP failure from its 5th.
      {kUpdate, Query("STOP", Item("two.example.net", kDemoSig) + Item("nobody.example.org", kDemoSig) + good), 200,
       Results("two.example.net|403 签名错误，请检查域名管理密码,nobody.example.org|404 域名不存在,demo.example.com|200,"), two},
      {kUpdate, Query("STOP", good), 200, Results("demo.example.com|200,"), two}};  // no record
  // clang-format on
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    const ServiceReply reply = HandleProtocolRequest(
        {c.path, c.query, "203.0.113." + std::to_string(i), 1700000000 + std::int64_t(i)}, database,
        {3, 7});
    EXPECT_EQ(reply.status, c.status) << c.path << "?" << c.query;
    EXPECT_EQ(reply.values, c.values) << c.path << "?" << c.query;
    std::string records;
    for (const Record& r : database.Records())
      records +=
          r.domain + " " + r.address + (r.mx ? " mx " : " ") + std::to_string(r.updated) + ";";
    EXPECT_EQ(records, c.records) << c.path << "?" << c.query;
    EXPECT_FALSE(reply.logLine.empty());
    for (const std::string_view secret : {"Sesame-42", "€5", "9747E97A", "ACCF39B8", "5E1D5EB7"})
      EXPECT_EQ(reply.logLine.find(secret), std::string::npos) << reply.logLine;
  }
}

class CommandLine : public ::testing::Test {
 protected:
  // The status and standard output, or else standard error (then alone); never a password.
  Ok Call(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.end(), {"--data", dir.path()});
    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = RunCommandLine(args, in, out, err);
    for (const char* password : {"Sesame-42", "'|pw", "Sesame,42"})
      EXPECT_EQ((out.str() + err.str()).find(password), std::string::npos) << password;
    EXPECT_TRUE(status == 0 ? err.str().empty() : out.str().empty() && !err.str().empty())
        << out.str() << err.str();
    return {status, status == 0 ? out.str() : err.str()};
  }
  TempDir dir;
};

// Bad calls exit with 2 and change nothing. The command line and the server share the database.
TEST_F(CommandLine, ManagesAccountsAndShowsRecords) {
  EXPECT_TRUE(Call({"--help"}).second.starts_with("Usage: quorvix-service"));
  EXPECT_EQ(Call({"--version"}), std::pair(0, std::string("quorvix-service 1.1\n")));
  for (const char* call :
       {"", "frobnicate", "account list --bogus", "serve --port 70000", "records extra",
        "account add --password-stdin", "account add localhost --password-stdin",
        "account add a|b.com --password-stdin"}) {
    std::istringstream words(call);
    EXPECT_EQ(Call({std::istream_iterator<std::string>(words), {}}, "pw\n").first, 2) << call;
  }
  const auto add = [this](const char* domain, const std::string& password) {
    return Call({"account", "add", domain, "--password-stdin"}, password);
  };
  // The client cuts a password at ","; it cannot sign two-byte, unmappable or very long ones.
  for (const std::string& password :
       Lines{"\n", "Sesame,42\n", "密码\n", "pw\xF0\x9F\x98\x80\n", std::string(40000, 'p')}) {
    EXPECT_EQ(add("demo.example.com", password).first, 2) << password.substr(0, 9);
  }
  EXPECT_EQ(add("Two.example.net", "€5\n"), Ok(0, "added Two.example.net\n"));
  EXPECT_EQ(add("demo.example.com", "Sesame-42\n"), Ok(0, "added demo.example.com\n"));
  // Letter case does not count; the line end, CR LF included, is not kept in the password.
  EXPECT_EQ(add("DEMO.example.com", "'|pw\r\n"),
            Ok(0, "changed the password of DEMO.example.com\n"));
  struct stat info {};
  ASSERT_EQ(::stat((dir / "service.db").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  Database database(dir / "service.db");
  EXPECT_EQ(database.PasswordOf("demo.EXAMPLE.com"), std::optional<std::string>("'|pw"));
  database.SetRecord({"Two.example.net", "198.51.100.20", false, 0});
  database.SetRecord({"demo.example.com", "203.0.113.7", true, 1700000000});
  EXPECT_EQ(Call({"account", "list"}), Ok(0, "demo.example.com\nTwo.example.net\n"));
  const std::string two = "Two.example.net\t198.51.100.20\tmx=no\t1970-01-01T00:00:00Z\n";
  const std::string both = "demo.example.com\t203.0.113.7\tmx=yes\t2023-11-14T22:13:20Z\n" + two;
  EXPECT_EQ(Call({"records"}), Ok(0, both));
  // Removing is one transaction: it changes nothing when its second half fails, nor stays open.
  Beside(dir / "service.db",
         "CREATE TRIGGER refuse BEFORE DELETE ON accounts BEGIN SELECT RAISE(ABORT, 'no'); END");
  EXPECT_THROW(database.RemoveAccount("demo.example.com"), DatabaseError);
  EXPECT_EQ(Call({"records"}), Ok(0, both));
  Beside(dir / "service.db", "DROP TRIGGER refuse");
  EXPECT_TRUE(database.RemoveAccount("DEMO.example.com"));
  EXPECT_EQ(Call({"records"}), Ok(0, two));
  EXPECT_EQ(Call({"account", "remove", "demo.example.com"}),
            Ok(1, "quorvix-service: no account for demo.example.com\n"));
  EXPECT_EQ(Call({"account", "remove", "two.example.NET"}), Ok(0, "removed two.example.NET\n"));
  EXPECT_EQ(Call({"records"}), Ok(0, ""));
  EXPECT_THROW(Database(dir / "missing/service.db"), DatabaseError);
}

int Connect(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const timeval limit{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
  ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  return fd;
}

// Sends the bytes (with `hangUp`, then no more); reads until the server closes or 5 s pass.
std::string Exchange(std::uint16_t port, std::string_view bytes, bool hangUp = false,
                     bool* closed = nullptr) {
  const int fd = Connect(port);
  ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  if (hangUp) ::shutdown(fd, SHUT_WR);
  std::string reply;
  char buffer[4096];
  ssize_t n;
  while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, std::size_t(n));
  if (closed != nullptr) *closed = n == 0 || errno == ECONNRESET;
  ::close(fd);
  return reply;
}

std::string Get(std::string_view target, std::string_view headers = "") {
  return "GET " + std::string(target) + " HTTP/1.1\r\nHost: ip.quorvix.com\r\n" +
         std::string(headers) + "Connection: close\r\n\r\n";
}
int StatusOf(const std::string& reply) { return reply.size() > 12 ? std::atoi(&reply[9]) : 0; }

// Behind a proxy, which appends the caller it saw; bad requests and silent clients never stop it.
TEST(HttpServer, AnswersRefusesAndKeepsServing) {
  TempDir dir;
  Database database(dir / "service.db");
  std::mutex mutex;
  Lines log;
  const ServerOptions options{.trustForwardedFor = true, .readTimeoutSeconds = 1, .protocol = {}};
  Server server(database, options, [&](auto& line) {
    std::lock_guard l(mutex);
    log.push_back(line);
  });
  // With Host and Connection, 48 header lines: the most a request may hold (proxies add some).
  std::string headers;
  for (int i = 0; i < 45; ++i) headers += "X-Filler-" + std::to_string(i) + ": value\r\n";
  // Each may get (0: nothing; none: any error or nothing); a refusal may be lost in a reset.
  // clang-format off
  const struct { std::string bytes; std::vector<int> statuses; std::string caller; bool hangUp = false; } cases[] = {
      {Get(kGetIp, "X-Forwarded-For: 10.0.0.1, 198.51.100.1 , 203.0.113.9\r\n"), {200}, "203.0.113.9"},
      {Get(kGetIp, headers + "X-Forwarded-For: 198.51.100.1\r\n"), {200}, "198.51.100.1"},
      {Get(kGetIp, headers + "X-One: 1\r\nX-Too-Many: 2\r\n"), {431}, ""},
      {"POST " + kGetIp + " HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello", {405}, ""},
      {Get(kGetIp + "pad=" + std::string(17 * 1024, 'a')), {414, 431, 0}, ""},
      {std::string("\0\xFF\r\n\r\n\0\x80", 8), {}, "", true},
      {"GET / HTTP/1.1\r\nHost: x\r\n", {}, ""}};  // never ends: dropped when it falls silent
  // clang-format on
  for (const auto& c : cases) {
    bool closed = false;
    const std::string reply = Exchange(server.port(), c.bytes, c.hangUp, &closed);
    const int status = StatusOf(reply);
    EXPECT_TRUE(closed && (c.statuses.empty() ? reply.empty() || (status >= 400 && status < 600)
                                              : std::ranges::count(c.statuses, status) > 0))
        << c.bytes.substr(0, 30) << " got " << reply.substr(0, 200);
    EXPECT_EQ(ReplyHeader(reply, "Y-IP"), c.caller);
    // Still serving; without the header the caller is the connection's peer.
    EXPECT_EQ(ReplyHeader(Exchange(server.port(), Get(kGetIp)), "Y-IP"), "127.0.0.1");
  }
  Server plain(database, {}, [](const auto&) {});  // the header counts only when asked for
  EXPECT_EQ(
      ReplyHeader(Exchange(plain.port(), Get(kGetIp, "X-Forwarded-For: 1.2.3.4\r\n")), "Y-IP"),
      "127.0.0.1");
  database.AddAccount(kDemo, "Sesame-42");
  database.SetRecord({"demo.example.com", "203.0.113.7", true, 1700000000});
  database.SetRecord({"bad\xFF.example", "", false, 0});  // stored texts came from requests
  const std::string reply = Exchange(server.port(), Get("/records"));
  ASSERT_EQ(StatusOf(reply), 200);
  EXPECT_EQ(ReplyHeader(reply, "Content-Type"), "application/json");
  EXPECT_EQ(nlohmann::json::parse(reply.substr(reply.find("\r\n\r\n") + 4)),
            nlohmann::json::parse(R"([
    {"domain": "bad\ufffd.example", "address": "", "mx": false, "updated": "1970-01-01T00:00:00Z"},
    {"domain": "demo.example.com", "address": "203.0.113.7", "mx": true, "updated": "2023-11-14T22:13:20Z"}])"));
  // A store that fails refuses the update with the server's explanation.
  Beside(dir / "service.db",
         "CREATE TRIGGER refuse BEFORE UPDATE ON records BEGIN SELECT RAISE(ABORT, 'full'); END");
  const std::string start = Get(kUpdate + "?" + Query("START", Item(kDemo, kDemoSig)));
  EXPECT_EQ(ReplyHeader(Exchange(server.port(), start), "RET-CODE"), "500");
  std::lock_guard lock(mutex);
  EXPECT_EQ(Lines(log.end() - 2, log.end()),
            (Lines{"records caller=127.0.0.1 status=200",
                   "START caller=127.0.0.1 ret=500 database: full"}));
}

}  // namespace
}  // namespace quorvix::service
