// DNS publication: key files and zones, and START and STOP against a real Knot DNS server on
// loopback, checked by asking that server.
#include <gtest/gtest.h>

#include <memory>

#include "dns/publisher.h"
#include "protocol/handler.h"
#include "protocol/signature.h"
#include "support/knot_fixture.h"

namespace quorvix::service {
namespace {

using Names = quorvix::testing::KnotServer::Names;
const std::string kSecret = "brEGjqJH2mpBAK9bvqZqmxnFYZuqjb+3ZzUlP/WnbMI=";
const std::string kPending = "|202新地址已记录，DNS服务器尚未确认，服务将自动重试,";

TEST(TsigKeyFile, ReadsBothFormsAndRefusesIncompleteKeys) {
  const std::string bind =
      "key \"k1.\" {\n\talgorithm hmac-sha512;\n\tsecret \"" + kSecret + "\";\n};";
  const struct {
    std::string text, want;
  } cases[] = {
      // the key read, or a part of the error
      {"# hmac-sha256:k1:x\nkey:\n  - id: k1\n    algorithm: hmac-sha256\n    secret: " + kSecret +
           "\n",
       "k1 hmac-sha256 " + kSecret},
      {bind, "k1 hmac-sha512 " + kSecret},
      {"key k1 { secret \"" + kSecret + "\"; algorithm HMAC-MD5; };", "k1 hmac-md5 " + kSecret},
      {"key:\n  - id: \"k1\" # quoted\n    algorithm: hmac-sha1\n    secret: \"" + kSecret + "\"",
       "k1 hmac-sha1 " + kSecret},
      {"key:\n  - id: k1\n    algorithm: hmac-sha256\n", "secret is missing"},
      {"key:\n  - id: k1\n    algorithm: rot13\n    secret: " + kSecret,
       "algorithm is missing or unknown: rot13"},
      {"key k1 { algorithm hmac-sha256; secret \"not base64!\"; };", "secret is missing"},
      {"key \"a;b\" { algorithm hmac-sha256; secret \"" + kSecret + "\"; };", "no usable name"},
      {"server:\n  listen: 127.0.0.1\n", "no TSIG key"}};
  for (const auto& c : cases) {
    std::string error;
    const std::optional<TsigKey> key = ParseTsigKey(c.text, error);
    const std::string got = key ? key->name + " " + key->algorithm + " " + key->secret : error;
    EXPECT_NE(got.find(c.want), std::string::npos) << c.text << "\n" << got;
  }
}

TEST(DnsOptions, FindsTheLongestZoneAndReadsTheServer) {
  const Names zones = {"example.test", "dyn.example.test", "Other.TEST"};
  const std::pair<const char*, std::optional<std::string>> domains[] = {
      {"home.example.test", "example.test"}, {"a.dyn.example.test", "dyn.example.test"},
      {"HOME.other.test", "Other.TEST"},     {"badexample.test", std::nullopt},
      {"example.test.evil", std::nullopt},   {".example.test", std::nullopt}};
  for (const auto& [domain, zone] : domains) EXPECT_EQ(ZoneOf(zones, domain), zone) << domain;
  const std::pair<const char*, int> servers[] = {{"192.0.2.1", 53},      {"127.0.0.1:5353", 5353},
                                                 {"127.0.0.1:0", 0},     {"127.0.0.1:65536", 0},
                                                 {"ns.example.test", 0}, {"127.0.0.1:53x", 0}};
  for (const auto& [text, port] : servers) {
    DnsOptions options;
    EXPECT_EQ(ParseDnsServer(text, options) ? options.port : 0, port) << text;
  }
}

// The database, the publisher and the handler in-process, publishing to Knot.
class Publication : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* domain : {"home.example.test", "work.example.test", "home.other.test"}) {
      database->AddAccount(domain, "pw");
    }
    StartPublisher(quorvix::testing::ReadFile(knot.keyFile()));
  }
  void StartPublisher(const std::string& keyText) {
    publisher.reset();
    DnsOptions options;
    std::string error;
    ASSERT_TRUE(ParseDnsServer(knot.server(), options));
    options.key = ParseTsigKey(keyText, error).value();
    options.zones = {"example.test"};
    publisher = std::make_unique<Publisher>(*database, DnsUpdater(options), [](const auto&) {});
  }
  std::string Send(const std::string& command, bool mx, const std::string& caller,
                   const Names& domains) {
    std::string list;
    for (const std::string& domain : domains)
      list += domain + "|" + ExpectedSignature(domain, "pw") + ",";
    ServiceOptions options;
    options.publisher = publisher.get();
    const ServiceReply reply = HandleProtocolRequest(
        {"/QUORVIXDDNS/quorvixDDNS_server.asp",
         "Command=" + command + "&glbMX=" + (mx ? "True" : "False") + "&DomainList=" + list, caller,
         1},
        *database, options);
    return reply.values.at(0).second + " " + reply.values.at(1).second;
  }
  std::size_t Queued() { return database->DueDnsChanges(INT64_MAX, 9).size(); }

  quorvix::testing::TempDir dir;
  quorvix::testing::KnotServer knot;
  std::unique_ptr<Database> database = std::make_unique<Database>(dir / "service.db");
  std::unique_ptr<Publisher> publisher;
};

TEST_F(Publication, NamesFollowStartAndStop) {
  const std::string outside = "|406域名不在本服务管理的DNS区域内,";
  const struct {
    std::string command;
    bool mx;
    std::string caller;
    Names domains;
    std::string results;
    Names homeA, homeMx, workA;
  } steps[] = {{"START",
                true,
                "203.0.113.7",
                {"home.example.test", "HOME.other.test", "work.example.test"},
                "200 home.example.test|200,HOME.other.test" + outside + "work.example.test|200,",
                {"203.0.113.7"},
                {"10 home.example.test."},
                {"203.0.113.7"}},
               // A new address replaces the old one; an MX no longer wanted goes.
               {"START",
                false,
                "203.0.113.8",
                {"home.example.test"},
                "200 home.example.test|200,",
                {"203.0.113.8"},
                {},
                {"203.0.113.7"}},
               {"START",
                true,
                "203.0.113.9",
                {"home.example.test"},
                "200 home.example.test|200,",
                {"203.0.113.9"},
                {"10 home.example.test."},
                {"203.0.113.7"}},
               {"STOP",
                true,
                "203.0.113.9",
                {"home.example.test"},
                "200 home.example.test|200,",
                {},
                {},
                {"203.0.113.7"}},
               {"START",
                false,
                "2001:db8::1",
                {"work.example.test"},
                "200 work.example.test|406来访地址不是IPv4地址，无法发布A记录,",
                {},
                {},
                {"203.0.113.7"}}};
  for (const auto& step : steps) {
    EXPECT_EQ(Send(step.command, step.mx, step.caller, step.domains), step.results) << step.caller;
    EXPECT_EQ(knot.Query("home.example.test", "A"), step.homeA) << step.caller;
    EXPECT_EQ(knot.Query("home.example.test", "MX"), step.homeMx) << step.caller;
    EXPECT_EQ(knot.Query("work.example.test", "A"), step.workA) << step.caller;
  }
  EXPECT_EQ(Queued(), 0u);
  // A key the server does not know: its answer is no confirmation.
  StartPublisher("key quorvix-test { algorithm hmac-sha256; secret \"" + kSecret + "\"; };");
  EXPECT_EQ(Send("START", false, "203.0.113.7", {"home.example.test"}),
            "200 home.example.test" + kPending);
  EXPECT_EQ(knot.Query("home.example.test", "A"), Names{});
  EXPECT_EQ(Queued(), 1u);
}

// What the DNS server did not confirm stays queued, across a restart, until it is confirmed.
TEST_F(Publication, QueueDeliversAfterTheServerWasDown) {
  ASSERT_EQ(Send("START", true, "203.0.113.7", {"home.example.test"}),
            "200 home.example.test|200,");
  knot.Stop();
  EXPECT_EQ(Send("START", false, "203.0.113.8", {"home.example.test"}),
            "200 home.example.test" + kPending);
  EXPECT_EQ(Send("STOP", false, "203.0.113.8", {"work.example.test"}),
            "200 work.example.test|202 已停止记录，DNS服务器尚未确认删除，服务将自动重试,");
  publisher.reset();  // the service restarts while the server is still down
  database = std::make_unique<Database>(dir / "service.db");
  EXPECT_EQ(Queued(), 2u);
  knot.Start();
  StartPublisher(quorvix::testing::ReadFile(knot.keyFile()));
  for (int i = 0; i < 100 && Queued() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(knot.Query("home.example.test", "A"), Names{"203.0.113.8"});
  EXPECT_EQ(knot.Query("home.example.test", "MX"), Names{});
}

}  // namespace
}  // namespace quorvix::service
