#include "protocol/handler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "protocol/signature.h"
#include "service/record_lines.h"
#include "store/database.h"

namespace quorvix::service {
namespace {

using Values = std::vector<std::pair<std::string, std::string>>;
using Lines = std::vector<std::string>;

constexpr std::string_view kUpdate = "/QUORVIXDDNS/quorvixDDNS_server.asp";
constexpr std::string_view kInfo = "/quorvixDDNS_GETUserIp.asp";

// Signatures made outside the program with
// printf '%s' 'demo.example.comSesame-42TQ59WM37hd' | md5sum (upper-cased), and so on.
constexpr std::string_view kDemo = "demo.example.com";
constexpr std::string_view kDemoPassword = "Sesame-42";
constexpr std::string_view kDemoSig = "9747E97A781CE3300B351FE8E5196211";
constexpr std::string_view kTwo = "two.example.net";
constexpr std::string_view kTwoPassword = "second#2";
constexpr std::string_view kTwoSig = "CB8817228DF74E0B8494E7FE13A63E3B";
// 'Demo.Example.COMSesame-42TQ59WM37hd': the client signs the domain as the user typed it.
constexpr std::string_view kDemoMixedCaseSig = "5E1D5EB7B36FDE26D673878EA1FBC81B";
// 'TQ59WM37hd' alone: an empty domain with an empty password.
constexpr std::string_view kEmptySig = "D1D6F7CFD918C54B70E96910EF20A69B";

constexpr std::int64_t kNow = 1700000000;

std::string Join(std::string_view domain, std::string_view signature) {
  return std::string(domain) + "|" + std::string(signature) + ",";
}

std::string Query(std::string_view command, std::string_view list) {
  return "Command=" + std::string(command) + "&glbMX=False&DomainList=" + std::string(list);
}

TEST(Signature, ExpectedSignatureAndUsablePassword) {
  const struct {
    std::string_view domain;
    std::string password;
    std::string_view signature;
    bool usable;
  } cases[] = {
      // 'b.orgp|q!TQ59WM37hd': a "|" in a password is signed like any other character.
      {"b.org", "p|q!", "89B75024BCDE0CA7C80E8E261BB776E5", true},
      {"", "", kEmptySig, false},
      // 'x.coma,bTQ59WM37hd': signable, but the client would cut the password at the ",".
      {"x.com", "a,b", "AA598E9910EAE4DD2E64039E32A79417", false},
      // printf '%s' 'x.com€5TQ59WM37hd' | iconv -f UTF-8 -t CP936 | md5sum: the euro sign is
      // the single byte 0x80 in code page 936, so it can be signed.
      {"x.com", "€5", "D3658CE9A8D0EC9E98A8ABA6B4BEA43E", true},
      // Two-byte, unmappable and malformed characters cannot be signed by the client either.
      {"x.com", "密码", "", false},
      {"x.com", "pw\xF0\x9F\x98\x80", "", false},
      {"x.com", "\xFF", "", false},
      {"x.com", std::string(40000, 'p'), "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.password.substr(0, 20));
    EXPECT_EQ(ExpectedSignature(c.domain, c.password), c.signature);
    EXPECT_EQ(UsablePassword(c.password), c.usable);
  }
}

class HandlerTest : public ::testing::Test {
 protected:
  HandlerTest() {
    database.AddAccount(kDemo, kDemoPassword);
    database.AddAccount(kTwo, kTwoPassword);
    // A password that cannot be signed: no signature, the empty one included, matches.
    database.AddAccount("odd.example.org", "密码");
  }

  // Every request leaves a log line, and none holds a password or a signature.
  ServiceReply Send(std::string_view path, std::string_view query,
                    std::string_view caller = "203.0.113.7", std::int64_t now = kNow) {
    const ServiceReply reply = HandleProtocolRequest(
        {std::string(path), std::string(query), std::string(caller), now}, database, options);
    EXPECT_FALSE(reply.logLine.empty()) << query;
    for (std::string_view secret :
         {kDemoPassword, kTwoPassword, kDemoSig, kTwoSig, kDemoMixedCaseSig}) {
      EXPECT_EQ(reply.logLine.find(secret), std::string::npos) << reply.logLine;
    }
    return reply;
  }

  Database database{":memory:"};
  ServiceOptions options;
};

const std::string kUnknown = "404域名不存在";
const std::string kBadSig = "403签名错误，请检查域名管理密码";
// The client shows a START failure from its 4th character and a STOP failure from its 5th.
const std::string kUnknownStop = "404 域名不存在";
const std::string kBadSigStop = "403 签名错误，请检查域名管理密码";

TEST_F(HandlerTest, ResultsOfEachDomainForStartAndStop) {
  const struct {
    std::string list, start, stop;
  } cases[] = {
      {Join(kDemo, kDemoSig), "demo.example.com|200,", "demo.example.com|200,"},
      {Join("nobody.example.org", kDemoSig), "nobody.example.org|" + kUnknown + ",",
       "nobody.example.org|" + kUnknownStop + ","},
      {Join(kDemo, kTwoSig), "demo.example.com|" + kBadSig + ",",
       "demo.example.com|" + kBadSigStop + ","},
      {Join(kDemo, "9747e97a781ce3300b351fe8e5196211"), "demo.example.com|" + kBadSig + ",",
       "demo.example.com|" + kBadSigStop + ","},
      {Join(kDemo, kDemoSig.substr(0, 31)), "demo.example.com|" + kBadSig + ",",
       "demo.example.com|" + kBadSigStop + ","},
      {Join("odd.example.org", ""), "odd.example.org|" + kBadSig + ",",
       "odd.example.org|" + kBadSigStop + ","},
      {Join("", kEmptySig), "|" + kUnknown + ",", "|" + kUnknownStop + ","},
      // In the order sent; an empty item is skipped.
      {Join(kTwo, kTwoSig) + Join("nobody.example.org", kDemoSig) + "," + Join(kDemo, kTwoSig) +
           Join(kDemo, kDemoSig),
       "two.example.net|200,nobody.example.org|" + kUnknown + ",demo.example.com|" + kBadSig +
           ",demo.example.com|200,",
       "two.example.net|200,nobody.example.org|" + kUnknownStop + ",demo.example.com|" +
           kBadSigStop + ",demo.example.com|200,"},
  };
  for (const auto& c : cases) {
    for (const auto& [command, results] : {std::pair{"START", c.start}, {"STOP", c.stop}}) {
      SCOPED_TRACE(std::string(command) + " " + c.list);
      const ServiceReply reply = Send(kUpdate, Query(command, c.list));
      EXPECT_EQ(reply.status, 200);
      EXPECT_EQ(reply.values, (Values{{"RET-CODE", "200"}, {"RET-DMLIST", results}}));
      // The client cuts the results at every ",": an explanation holds none.
      EXPECT_EQ(std::ranges::count(reply.values.at(1).second, ','),
                std::ranges::count(c.list, '|'));
    }
  }
}

TEST_F(HandlerTest, StartAndStopChangeOnlyVerifiedDomains) {
  Send(kUpdate, "Command=START&glbMX=True&DomainList=" + Join(kDemo, kTwoSig) +
                    Join("nobody.example.org", kDemoSig) + Join(kTwo, kTwoSig));
  EXPECT_EQ(Describe(database.Records()), Lines{"two.example.net 203.0.113.7 mx=1 1700000000"});
  // A later START moves the records: the domain signed as typed, found without regard to case.
  Send(kUpdate, Query("START", Join("Demo.Example.COM", kDemoMixedCaseSig) + Join(kTwo, kTwoSig)),
       "198.51.100.20", kNow + 60);
  EXPECT_EQ(Describe(database.Records()), (Lines{"Demo.Example.COM 198.51.100.20 mx=0 1700000060",
                                                 "two.example.net 198.51.100.20 mx=0 1700000060"}));
  Send(kUpdate, Query("STOP", Join(kDemo, kDemoSig) + Join(kTwo, kDemoSig)));
  EXPECT_EQ(Describe(database.Records()), Lines{"two.example.net 198.51.100.20 mx=0 1700000060"});
  // A STOP without a record succeeds.
  EXPECT_EQ(Send(kUpdate, Query("STOP", Join(kDemo, kDemoSig))).values.at(1).second,
            "demo.example.com|200,");
}

TEST_F(HandlerTest, RefusalsAndOtherRequestsChangeNothing) {
  const std::string good = Join(kDemo, kDemoSig);
  const Values empty = {{"RET-CODE", "500"}, {"RET-INFO", "域名列表为空"}};
  const Values malformed = {{"RET-CODE", "500"}, {"RET-INFO", "域名列表格式错误"}};
  const Values version = {{"RET-CODE", "200"}, {"Major", "1"}, {"Minor", "1"}};
  const struct {
    std::string_view path;
    std::string query;
    int status;
    Values values;
  } cases[] = {
      {kUpdate, Query("START", ""), 200, empty},
      {kUpdate, Query("STOP", ",,,"), 200, empty},
      {kUpdate, Query("START", "demo.example.com,"), 200, malformed},
      // One bad item refuses the whole list, the good ones before it included.
      {kUpdate, Query("START", good + "junk,"), 200, malformed},
      {kUpdate, Query("STOP", good + "junk"), 200, malformed},
      {kInfo, "Command=GETIP&glbMX=True&", 200, {{"RET-CODE", "200"}, {"Y-IP", "203.0.113.7"}}},
      {kInfo, "Command=GETVER&glbMX=False&", 200, version},
      {kUpdate, "Command=GETIP&glbMX=False&", 400, {}},
      {kInfo, Query("START", good), 400, {}},
      {kInfo, "", 400, {}},
      {"/", "Command=GETIP&glbMX=False&", 404, {}},
      {"/quorvixddns/quorvixddns_server.asp", Query("START", good), 404, {}},
      {"/QUORVIXDDNS/quorvixDDNS_server.asp/", Query("START", good), 404, {}},
  };
  database.SetRecord({std::string(kDemo), "198.51.100.9", true, 1600000000});
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + "?" + c.query);
    const ServiceReply reply = Send(c.path, c.query);
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.values, c.values);
    EXPECT_EQ(Describe(database.Records()), Lines{"demo.example.com 198.51.100.9 mx=1 1600000000"});
  }
}

}  // namespace
}  // namespace quorvix::service
