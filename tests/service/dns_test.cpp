// DNS publication: the key files, the zones, and START and STOP against a real Knot DNS server
// on loopback, checked by asking that server.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "dns/publisher.h"
#include "protocol/handler.h"
#include "protocol/signature.h"
#include "support/knot_fixture.h"

namespace quorvix::service {
namespace {

using quorvix::testing::KnotServer;
using quorvix::testing::TempDir;
using Names = std::vector<std::string>;

constexpr const char* kSecret = "brEGjqJH2mpBAK9bvqZqmxnFYZuqjb+3ZzUlP/WnbMI=";

TEST(TsigKeyFile, ReadsBothFormsAndRefusesIncompleteKeys) {
  const std::string secret = kSecret;
  // clang-format off
  const struct { std::string text; std::string name, algorithm, error; } cases[] = {
      {"# hmac-sha256:ddns-key:" + secret + "\nkey:\n  - id: ddns-key\n    algorithm: hmac-sha256\n    secret: " + secret + "\n",
       "ddns-key", "hmac-sha256", ""},
      {"key \"ddns.example.\" {\n\talgorithm hmac-sha512;\n\tsecret \"" + secret + "\";\n};\n",
       "ddns.example", "hmac-sha512", ""},
      {"key ddns-key { secret \"" + secret + "\"; algorithm HMAC-MD5; };", "ddns-key", "hmac-md5", ""},
      {"key:\n  - id: \"k1\"   # quoted\n    algorithm: hmac-sha1\n    secret: \"" + secret + "\"", "k1", "hmac-sha1", ""},
      {"key:\n  - id: k1\n    algorithm: hmac-sha256\n", "", "", "secret"},
      {"key:\n  - id: k1\n    algorithm: rot13\n    secret: " + secret, "", "", "algorithm"},
      {"key \"k1\" { algorithm hmac-sha256; secret \"not base64!\"; };", "", "", "secret"},
      {"key \"k 1\" { algorithm hmac-sha256; secret \"" + secret + "\"; };", "", "", "name"},
      {"key \"a;b\" { algorithm hmac-sha256; secret \"" + secret + "\"; };", "", "", "name"},
      {"server:\n  listen: 127.0.0.1\n", "", "", "no TSIG key"},
      {"", "", "", "no TSIG key"}};
  // clang-format on
  for (const auto& c : cases) {
    std::string error;
    const std::optional<TsigKey> key = ParseTsigKey(c.text, error);
    if (c.error.empty()) {
      ASSERT_TRUE(key) << c.text << ": " << error;
      EXPECT_EQ(key->name, c.name);
      EXPECT_EQ(key->algorithm, c.algorithm);
      EXPECT_EQ(key->secret, secret);
    } else {
      EXPECT_FALSE(key) << c.text;
      EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
    }
  }
}

TEST(DnsOptions, FindsTheLongestZoneAndReadsTheServer) {
  const Names zones = {"example.test", "dyn.example.test", "Other.TEST"};
  const struct {
    const char* domain;
    std::optional<std::string> zone;
  } domains[] = {{"home.example.test", "example.test"},  {"a.dyn.example.test", "dyn.example.test"},
                 {"dyn.example.test", "dyn.example.test"}, {"HOME.other.test", "Other.TEST"},
                 {"badexample.test", std::nullopt},      {"example.test.evil", std::nullopt},
                 {".example.test", std::nullopt},        {"test", std::nullopt}};
  for (const auto& d : domains) EXPECT_EQ(ZoneOf(zones, d.domain), d.zone) << d.domain;

  const struct {
    const char* text;
    bool ok;
    std::uint16_t port;
  } servers[] = {{"192.0.2.1", true, 53},     {"127.0.0.1:5353", true, 5353},
                 {"127.0.0.1:0", false, 0},   {"127.0.0.1:65536", false, 0},
                 {"127.0.0.1:", false, 0},    {"ns.example.test", false, 0},
                 {"127.0.0.1:53x", false, 0}, {"::1", false, 0}};
  for (const auto& s : servers) {
    DnsOptions options;
    EXPECT_EQ(ParseDnsServer(s.text, options), s.ok) << s.text;
    EXPECT_EQ(options.port, s.ok ? s.port : 53) << s.text;
  }
}

// The service's database, its publisher and the handler in-process, publishing to Knot.
class Publication : public ::testing::Test {
 protected:
  void SetUp() override {
    database = std::make_unique<Database>(dir / "service.db");
    for (const char* domain : {"home.example.test", "work.example.test", "home.other.test"}) {
      database->AddAccount(domain, "pw-1");
    }
    StartPublisher(knot.keyFile());
  }
  void TearDown() override { publisher.reset(); }

  void StartPublisher(const std::string& keyFile) {
    publisher.reset();
    DnsOptions options;
    ASSERT_TRUE(ParseDnsServer(knot.server(), options));
    options.zones = {"example.test"};
    options.ttl = 120;
    std::string error;
    const auto key = ParseTsigKey(quorvix::testing::ReadFile(keyFile), error);
    ASSERT_TRUE(key) << error;
    options.key = *key;
    publisher = std::make_unique<Publisher>(*database, DnsUpdater(options), [this](const std::string& line) {
      std::lock_guard lock(logMutex);
      log += line + "\n";
    });
  }

  // The per-domain results of one START or STOP.
  std::string Send(const std::string& command, bool mx, const std::string& caller,
                   const Names& domains) {
    std::string list;
    for (const std::string& domain : domains) {
      list += domain + "|" + ExpectedSignature(domain, "pw-1") + ",";
    }
    ServiceOptions options;
    options.publisher = publisher.get();
    const ServiceReply reply = HandleProtocolRequest(
        {"/QUORVIXDDNS/quorvixDDNS_server.asp",
         "Command=" + command + "&glbMX=" + (mx ? "True" : "False") + "&DomainList=" + list,
         caller, 1700000000},
        *database, options);
    EXPECT_EQ(reply.values.at(0).second, "200") << reply.logLine;
    return reply.values.size() > 1 ? reply.values[1].second : "";
  }

  TempDir dir;
  KnotServer knot;
  std::unique_ptr<Database> database;
  std::unique_ptr<Publisher> publisher;
  std::mutex logMutex;
  std::string log;
};

TEST_F(Publication, NamesFollowStartAndStop) {
  const std::string pending = "|202新地址已记录，DNS服务器尚未确认，服务将自动重试,";
  // clang-format off
  const struct { std::string command; bool mx; std::string caller; Names domains; std::string results; Names homeA, homeMx, workA; } steps[] = {
      {"START", true, "203.0.113.7", {"home.example.test", "HOME.other.test", "work.example.test"},
       "home.example.test|200,HOME.other.test|406域名不在本服务管理的DNS区域内,work.example.test|200,",
       {"203.0.113.7"}, {"10 home.example.test."}, {"203.0.113.7"}},
      // A new address replaces the old one; MX no longer wanted goes.
      {"START", false, "203.0.113.8", {"home.example.test"}, "home.example.test|200,",
       {"203.0.113.8"}, {}, {"203.0.113.7"}},
      {"START", true, "203.0.113.9", {"home.example.test"}, "home.example.test|200,",
       {"203.0.113.9"}, {"10 home.example.test."}, {"203.0.113.7"}},
      {"STOP", true, "203.0.113.9", {"home.example.test", "home.other.test"},
       "home.example.test|200,home.other.test|406 域名不在本服务管理的DNS区域内,", {}, {}, {"203.0.113.7"}},
      // The only client address the A record can hold is IPv4.
      {"START", false, "2001:db8::1", {"work.example.test"}, "work.example.test|406来访地址不是IPv4地址，无法发布A记录,",
       {}, {}, {"203.0.113.7"}}};
  // clang-format on
  for (const auto& step : steps) {
    EXPECT_EQ(Send(step.command, step.mx, step.caller, step.domains), step.results)
        << step.command << " " << step.caller;
    EXPECT_EQ(knot.Query("home.example.test", "A"), step.homeA) << step.caller;
    EXPECT_EQ(knot.Query("home.example.test", "MX"), step.homeMx) << step.caller;
    EXPECT_EQ(knot.Query("work.example.test", "A"), step.workA) << step.caller;
  }
  EXPECT_EQ(knot.Query("home.other.test", "A"), Names{});
  EXPECT_EQ(database->DueDnsChanges(INT64_MAX, 10).size(), 0u) << log;
}

// What the DNS server did not confirm stays queued, across a restart, until it is confirmed.
TEST_F(Publication, QueueDeliversAfterTheServerWasDown) {
  ASSERT_EQ(Send("START", true, "203.0.113.7", {"home.example.test"}), "home.example.test|200,");
  knot.Stop();
  EXPECT_EQ(Send("START", false, "203.0.113.8", {"home.example.test"}),
            "home.example.test|202新地址已记录，DNS服务器尚未确认，服务将自动重试,");
  EXPECT_EQ(Send("STOP", false, "203.0.113.8", {"work.example.test"}),
            "work.example.test|202 已停止记录，DNS服务器尚未确认删除，服务将自动重试,");
  EXPECT_EQ(database->DueDnsChanges(INT64_MAX, 10).size(), 2u);
  // A restart of the service while the server is still down, then the server comes back.
  publisher.reset();
  database = std::make_unique<Database>(dir / "service.db");
  knot.Start();
  StartPublisher(knot.keyFile());
  for (int i = 0; i < 100 && !database->DueDnsChanges(INT64_MAX, 10).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(knot.Query("home.example.test", "A"), Names{"203.0.113.8"}) << log;
  EXPECT_EQ(knot.Query("home.example.test", "MX"), Names{});
  EXPECT_NE(log.find("not confirmed"), std::string::npos) << log;
}

// An answer the server gives to a wrongly signed update is no confirmation.
TEST_F(Publication, WrongKeyIsNotConfirmed) {
  std::ofstream(dir / "wrong.key") << "key \"quorvix-test\" { algorithm hmac-sha256; secret \""
                                   << kSecret << "\"; };\n";
  StartPublisher(dir / "wrong.key");
  EXPECT_EQ(Send("START", false, "203.0.113.7", {"home.example.test"}),
            "home.example.test|202新地址已记录，DNS服务器尚未确认，服务将自动重试,");
  EXPECT_EQ(knot.Query("home.example.test", "A"), Names{});
  EXPECT_EQ(database->DueDnsChanges(INT64_MAX, 10).size(), 1u);
}

}  // namespace
}  // namespace quorvix::service
