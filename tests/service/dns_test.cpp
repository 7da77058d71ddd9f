// DNS publication: key files and zones, and START and STOP against a real Knot DNS server on
// loopback, checked by asking that server.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "cli.h"
#include "dns/publisher.h"
#include "protocol/handler.h"
#include "protocol/signature.h"
#include "support/knot_fixture.h"

namespace quorvix::service {
namespace {

using Names = std::vector<std::string>;
const std::string kSecret = "brEGjqJH2mpBAK9bvqZqmxnFYZuqjb+3ZzUlP/WnbMI=";
const std::string kPending = "|202新地址已记录，DNS服务器尚未确认，服务将自动重试,";

// Key files in both forms, with the reason when unusable; the zone of a domain.
TEST(DnsConfiguration, ReadsKeysAndZones) {
  const std::string k = kSecret;
  // clang-format off
  const std::pair<std::string, std::string> keys[] = {  // the key read, or a part of the error
      {"# hmac-sha256:k1:x\nkey:\n  - id: k1\n    algorithm: hmac-sha256\n    secret: " + k + "\n", "k1 hmac-sha256 " + k},
      {"key \"k1.\" {\n\talgorithm hmac-sha512;\n\tsecret \"" + k + "\";\n};", "k1 hmac-sha512 " + k},
      {"key k1 { secret \"" + k + "\"; algorithm HMAC-MD5; };", "k1 hmac-md5 " + k},
      {"key:\n  - id: \"k1\" # quoted\n    algorithm: hmac-sha1\n    secret: \"" + k + "\"", "k1 hmac-sha1 " + k},
      {"key:\n  - id: k1\n    algorithm: hmac-sha256\n", "secret is missing"},
      {"key:\n  - id: k1\n    algorithm: rot13\n    secret: " + k, "algorithm is missing or unknown: rot13"},
      {"key k1 { algorithm hmac-sha256; secret \"not base64!\"; };", "secret is missing"},
      {"key \"a;b\" { algorithm hmac-sha256; secret \"" + k + "\"; };", "no usable name"},
      {"server:\n  listen: 127.0.0.1\n", "no TSIG key"}};
  const std::pair<const char*, std::optional<std::string>> domains[] = {
      {"home.example.test", "example.test"}, {"a.dyn.example.test", "dyn.example.test"}, {"HOME.other.test", "Other.TEST"},
      {"badexample.test", std::nullopt}, {"example.test.evil", std::nullopt}, {".example.test", std::nullopt}};
  // clang-format on
  for (const auto& [text, want] : keys) {
    std::string error;
    const std::optional<TsigKey> key = ParseTsigKey(text, error);
    const std::string got = key ? key->name + " " + key->algorithm + " " + key->secret : error;
    EXPECT_NE(got.find(want), std::string::npos) << text << "\n" << got;
  }
  const Names zones = {"example.test", "dyn.example.test", "Other.TEST"};
  for (const auto& [domain, zone] : domains) EXPECT_EQ(ZoneOf(zones, domain), zone) << domain;
}

// `serve` takes the DNS options together or not at all, its key read from the file; with them
// it says where it publishes (and a lost database still ends it).
TEST(DnsConfiguration, ServeTakesTheOptionsTogether) {
  quorvix::testing::TempDir dir;
  const std::string key = dir / "key", log = dir / "log";
  std::ofstream(key) << "key \"k1\" { algorithm hmac-sha256; secret \"" + kSecret + "\"; };";
  const auto serve = [&](Names extra, std::ostream& out, std::ostream& err) {
    Names args = {"serve", "--port", "0", "--data", dir.path(), "--dns-server", "127.0.0.1:53"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::istringstream in;
    return RunCommandLine(args, in, out, err);
  };
  const std::pair<Names, std::string> refused[] = {
      {{"--dns-zone", "example.test"}, "together"},
      {{"--dns-zone", "example.test", "--dns-key", dir / "none"}, "cannot read the key file"},
      {{"--dns-zone", "a b", "--dns-key", key}, "--dns-zone needs a zone name"}};
  for (const auto& [extra, want] : refused) {
    std::ostringstream out, err;
    EXPECT_EQ(serve(extra, out, err), 2) << want;
    EXPECT_NE(err.str().find(want), std::string::npos) << err.str();
  }
  int status = -1;
  std::thread running([&] {
    std::ofstream out(log);
    status = serve({"--dns-zone", "example.test", "--dns-key", key}, out, out);
  });
  for (int i = 0; i < 200 && quorvix::testing::ReadFile(log).find("listening") == std::string::npos;
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::filesystem::remove(dir / "service.db");
  running.join();
  EXPECT_EQ(status, 1);
  EXPECT_NE(quorvix::testing::ReadFile(log).find("publishing to 127.0.0.1:53 with key k1"),
            std::string::npos);
}

// The database, the publisher and the handler in-process, publishing to Knot.
class Publication : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* domain : {"home.example.test", "work.example.test", "home.other.test"})
      database->AddAccount(domain, "pw");
    StartPublisher(quorvix::testing::ReadFile(knot.keyFile()));
  }
  void StartPublisher(const std::string& keyText) {
    publisher.reset();
    DnsOptions options;
    options.zones = {"example.test"};
    std::string error;
    ASSERT_TRUE(ParseDnsServer(knot.server(), options));
    options.key = ParseTsigKey(keyText, error).value();
    publisher = std::make_unique<Publisher>(*database, DnsUpdater(options), [](const auto&) {});
  }
  std::string Send(const std::string& command, bool mx, const std::string& caller,
                   const Names& domains) {
    std::string list;
    for (const std::string& domain : domains)
      list += domain + "|" + ExpectedSignature(domain, "pw") + ",";
    const ServiceReply reply = HandleProtocolRequest(
        {"/QUORVIXDDNS/quorvixDDNS_server.asp",
         "Command=" + command + "&glbMX=" + (mx ? "True" : "False") + "&DomainList=" + list, caller,
         1},
        *database, {1, 1, publisher.get()});
    return reply.values.at(0).second + " " + reply.values.at(1).second;
  }
  std::size_t Queued() { return database->DueDnsChanges(INT64_MAX, 9).size(); }

  quorvix::testing::TempDir dir;
  quorvix::testing::KnotServer knot;
  std::unique_ptr<Database> database = std::make_unique<Database>(dir / "service.db");
  std::unique_ptr<Publisher> publisher;
};

TEST_F(Publication, NamesFollowStartAndStopUntilConfirmed) {
  const auto state = [this] {  // what Knot answers: home's A and MX, work's A
    return knot.Query("home.example.test", "A") + "|" + knot.Query("home.example.test", "MX") +
           "|" + knot.Query("work.example.test", "A");
  };
  const std::string outside = "|406域名不在本服务管理的DNS区域内,";
  // clang-format off
  const struct { std::string command; bool mx; std::string caller; Names domains; std::string results, state; } steps[] = {
      {"START", true, "203.0.113.7", {"home.example.test", "HOME.other.test", "work.example.test"},
       "200 home.example.test|200,HOME.other.test" + outside + "work.example.test|200,", "203.0.113.7\n|10 home.example.test.\n|203.0.113.7\n"},
      // A new address replaces the old one; an MX no longer wanted goes.
      {"START", false, "203.0.113.8", {"home.example.test"}, "200 home.example.test|200,", "203.0.113.8\n||203.0.113.7\n"},
      {"START", true, "203.0.113.9", {"home.example.test"}, "200 home.example.test|200,", "203.0.113.9\n|10 home.example.test.\n|203.0.113.7\n"},
      {"STOP", true, "203.0.113.9", {"home.example.test"}, "200 home.example.test|200,", "||203.0.113.7\n"},
      {"START", false, "2001:db8::1", {"work.example.test"}, "200 work.example.test|406来访地址不是IPv4地址，无法发布A记录,", "||203.0.113.7\n"}};
  // clang-format on
  for (const auto& step : steps) {
    EXPECT_EQ(Send(step.command, step.mx, step.caller, step.domains), step.results) << step.caller;
    EXPECT_EQ(state(), step.state) << step.caller;
  }
  EXPECT_EQ(Queued(), 0u);
  // A key the server does not know: its answer is no confirmation.
  StartPublisher("key quorvix-test { algorithm hmac-sha256; secret \"" + kSecret + "\"; };");
  EXPECT_EQ(Send("START", false, "203.0.113.7", {"home.example.test"}),
            "200 home.example.test" + kPending);
  EXPECT_EQ(state(), "||203.0.113.7\n");
  // What the server did not confirm stays queued, across a restart, until it is confirmed.
  knot.Stop();
  const std::int64_t before = std::time(nullptr);
  EXPECT_EQ(Send("START", false, "203.0.113.8", {"home.example.test"}),
            "200 home.example.test" + kPending);
  EXPECT_EQ(Send("STOP", false, "203.0.113.8", {"work.example.test"}),
            "200 work.example.test|202 已停止记录，DNS服务器尚未确认删除，服务将自动重试,");
  for (const DnsChange& change : database->DueDnsChanges(INT64_MAX, 9)) {
    EXPECT_GT(change.nextTry, before) << "tried again after a pause";
  }
  publisher.reset();  // the service restarts while the server is still down
  database = std::make_unique<Database>(dir / "service.db");
  EXPECT_EQ(Queued(), 2u);  // the change the wrong key sent was replaced
  knot.Start();
  StartPublisher(quorvix::testing::ReadFile(knot.keyFile()));
  for (int i = 0; i < 100 && Queued() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(state(), "203.0.113.8\n||");
}

}  // namespace
}  // namespace quorvix::service
