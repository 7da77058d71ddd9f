#include "protocol/handler.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "protocol/signature.h"
#include "store/database.h"

namespace quorvix::service {
namespace {

using Values = std::vector<std::pair<std::string, std::string>>;

constexpr std::string_view kUpdate = "/QUORVIXDDNS/quorvixDDNS_server.asp";
constexpr std::string_view kInfo = "/quorvixDDNS_GETUserIp.asp";

// Accounts of every test, and signatures made outside the program with
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

constexpr std::string_view kCaller = "203.0.113.7";
constexpr std::int64_t kNow = 1700000000;

std::string Describe(const Record& record) {
  return record.domain + " " + record.address + " mx=" + (record.mx ? "1" : "0") + " " +
         std::to_string(record.updated);
}

std::vector<std::string> Describe(const std::vector<Record>& records) {
  std::vector<std::string> lines;
  for (const Record& record : records) lines.push_back(Describe(record));
  return lines;
}

std::string Join(std::string_view a, std::string_view b) {
  return std::string(a) + "|" + std::string(b) + ",";
}

// ---------------------------------------------------------------------------------------------
// Signatures

struct SignatureCase {
  const char* name;
  std::string_view domain;
  std::string_view password;
  std::string_view expected;
};

class ExpectedSignatureTable : public ::testing::TestWithParam<SignatureCase> {};

TEST_P(ExpectedSignatureTable, MatchesMd5sum) {
  const SignatureCase& c = GetParam();
  EXPECT_EQ(ExpectedSignature(c.domain, c.password), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Md5sum, ExpectedSignatureTable,
    ::testing::Values(
        SignatureCase{"Demo", kDemo, kDemoPassword, kDemoSig},
        SignatureCase{"Two", kTwo, kTwoPassword, kTwoSig},
        SignatureCase{"DomainAsTyped", "Demo.Example.COM", kDemoPassword, kDemoMixedCaseSig},
        // 'a.compw1TQ59WM37hd'
        SignatureCase{"Short", "a.com", "pw1", "6F7FB1EAF0E3E00C99CF55B536E10036"},
        // 'b.orgp|q!TQ59WM37hd': a "|" in a password is signed like any other character.
        SignatureCase{"PipeInPassword", "b.org", "p|q!", "89B75024BCDE0CA7C80E8E261BB776E5"},
        SignatureCase{"EmptyDomainAndPassword", "", "", kEmptySig},
        // 'x.comTQ59WM37hd'
        SignatureCase{"EmptyPassword", "x.com", "", "8273BB8C033F4B05E232478A4FEC4FB3"},
        // printf '%s' 'x.com€5TQ59WM37hd' | iconv -f UTF-8 -t CP936 | md5sum: the euro sign is
        // the single byte 0x80 in code page 936, so it can be signed.
        SignatureCase{"CodePageByte", "x.com",
                      "\xE2\x82\xAC"
                      "5",
                      "D3658CE9A8D0EC9E98A8ABA6B4BEA43E"},
        // Two-byte characters cannot be signed by the client either.
        SignatureCase{"DoubleByte", "x.com", "密码", ""},
        SignatureCase{"Unmappable", "x.com", "\xF0\x9F\x98\x80", ""},
        SignatureCase{"MalformedUtf8", "x.com", "\xFF", ""}),
    [](const ::testing::TestParamInfo<SignatureCase>& tested) {
      return std::string(tested.param.name);
    });

TEST(ExpectedSignature, EmptyWhenTooLongToDigest) {
  EXPECT_EQ(ExpectedSignature("x.com", std::string(40000, 'p')), "");
}

struct MatchCase {
  const char* name;
  std::string_view sent;
  std::string_view expected;
  bool matches;
};

class SignatureMatchesTable : public ::testing::TestWithParam<MatchCase> {};

TEST_P(SignatureMatchesTable, ComparesExactly) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(SignatureMatches(c.sent, c.expected), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SignatureMatchesTable,
    ::testing::Values(
        MatchCase{"Good", kDemoSig, kDemoSig, true},
        MatchCase{"OtherSignature", kTwoSig, kDemoSig, false},
        MatchCase{"LastDigitDiffers", "9747E97A781CE3300B351FE8E5196210", kDemoSig, false},
        MatchCase{"FirstDigitDiffers", "8747E97A781CE3300B351FE8E5196211", kDemoSig, false},
        MatchCase{"LowerCaseHex", "9747e97a781ce3300b351fe8e5196211", kDemoSig, false},
        MatchCase{"Shorter", "9747E97A781CE3300B351FE8E519621", kDemoSig, false},
        MatchCase{"Longer", "9747E97A781CE3300B351FE8E51962110", kDemoSig, false},
        MatchCase{"PrefixOfExpected", "9747", kDemoSig, false},
        MatchCase{"EmptySent", "", kDemoSig, false},
        MatchCase{"EmptyExpected", kDemoSig, "", false}, MatchCase{"BothEmpty", "", "", false}),
    [](const ::testing::TestParamInfo<MatchCase>& tested) {
      return std::string(tested.param.name);
    });

struct PasswordCase {
  const char* name;
  std::string_view password;
  bool usable;
};

class UsablePasswordTable : public ::testing::TestWithParam<PasswordCase> {};

TEST_P(UsablePasswordTable, Decides) {
  EXPECT_EQ(UsablePassword(GetParam().password), GetParam().usable);
}

INSTANTIATE_TEST_SUITE_P(Cases, UsablePasswordTable,
                         ::testing::Values(PasswordCase{"Empty", "", false},
                                           PasswordCase{"Comma", "a,b", false},
                                           PasswordCase{"TrailingComma", "ab,", false},
                                           PasswordCase{"DoubleByte", "密码", false},
                                           PasswordCase{"Emoji", "pw\xF0\x9F\x98\x80", false},
                                           PasswordCase{"Pipe", "p|q", true},
                                           PasswordCase{"Symbols", "second#2", true},
                                           PasswordCase{"Blank", "a b", true}),
                         [](const ::testing::TestParamInfo<PasswordCase>& tested) {
                           return std::string(tested.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// Requests

class HandlerTest : public ::testing::Test {
 protected:
  HandlerTest() {
    database.AddAccount(kDemo, kDemoPassword);
    database.AddAccount(kTwo, kTwoPassword);
  }

  ServiceReply Send(std::string_view path, std::string_view query,
                    std::string_view caller = kCaller, std::int64_t now = kNow) {
    ServiceRequest request;
    request.path = path;
    request.query = query;
    request.caller = caller;
    request.now = now;
    return HandleProtocolRequest(request, database, options);
  }

  // As the client writes it.
  ServiceReply Update(std::string_view command, std::string_view list, bool mx = false,
                      std::string_view caller = kCaller, std::int64_t now = kNow) {
    return Send(kUpdate,
                "Command=" + std::string(command) + "&glbMX=" + (mx ? "True" : "False") +
                    "&DomainList=" + std::string(list),
                caller, now);
  }

  Database database{":memory:"};
  ServiceOptions options;
};

struct ResultCase {
  const char* name;
  std::string list;
  std::string startResults;
  std::string stopResults;
  std::size_t items;  // what the client's list reader must find in the results
};

void PrintTo(const ResultCase& c, std::ostream* out) { *out << c.name; }

const std::string kUnknownStart = "404域名不存在";
const std::string kUnknownStop = "404 域名不存在";
const std::string kBadSigStart = "403签名错误，请检查域名管理密码";
const std::string kBadSigStop = "403 签名错误，请检查域名管理密码";

class UpdateResults : public HandlerTest, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(UpdateResults, StartListsEachDomain) {
  const ServiceReply reply = Update("START", GetParam().list);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.values, (Values{{"RET-CODE", "200"}, {"RET-DMLIST", GetParam().startResults}}));
}

TEST_P(UpdateResults, StopListsEachDomain) {
  const ServiceReply reply = Update("STOP", GetParam().list);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.values, (Values{{"RET-CODE", "200"}, {"RET-DMLIST", GetParam().stopResults}}));
}

// The client cuts the results at every "," and drops pieces without "|": an explanation
// holding a "," would lose its end and leave a stray piece.
TEST_P(UpdateResults, EveryResultSurvivesTheClientsSplit) {
  for (const char* command : {"START", "STOP"}) {
    const ServiceReply reply = Update(command, GetParam().list);
    ASSERT_EQ(reply.values.size(), 2u);
    const std::string& results = reply.values[1].second;
    std::size_t pieces = 0;
    std::size_t start = 0;
    for (std::size_t comma; (comma = results.find(',', start)) != std::string::npos;
         start = comma + 1) {
      EXPECT_NE(results.substr(start, comma - start).find('|'), std::string::npos)
          << command << ": " << results;
      ++pieces;
    }
    EXPECT_EQ(start, results.size()) << command << ": the last result lacks its \",\"";
    EXPECT_EQ(pieces, GetParam().items) << command << ": " << results;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Items, UpdateResults,
    ::testing::Values(
        ResultCase{"Good", Join(kDemo, kDemoSig), "demo.example.com|200,", "demo.example.com|200,",
                   1},
        ResultCase{"GoodWithoutTrailingComma", std::string(kDemo) + "|" + std::string(kDemoSig),
                   "demo.example.com|200,", "demo.example.com|200,", 1},
        ResultCase{"UnknownDomain", Join("nobody.example.org", kDemoSig),
                   "nobody.example.org|" + kUnknownStart + ",",
                   "nobody.example.org|" + kUnknownStop + ",", 1},
        ResultCase{"OtherAccountsSignature", Join(kDemo, kTwoSig),
                   "demo.example.com|" + kBadSigStart + ",",
                   "demo.example.com|" + kBadSigStop + ",", 1},
        ResultCase{"LowerCaseSignature", Join(kDemo, "9747e97a781ce3300b351fe8e5196211"),
                   "demo.example.com|" + kBadSigStart + ",",
                   "demo.example.com|" + kBadSigStop + ",", 1},
        ResultCase{"PasswordInsteadOfSignature", Join(kDemo, kDemoPassword),
                   "demo.example.com|" + kBadSigStart + ",",
                   "demo.example.com|" + kBadSigStop + ",", 1},
        ResultCase{"EmptySignature", Join(kDemo, ""), "demo.example.com|" + kBadSigStart + ",",
                   "demo.example.com|" + kBadSigStop + ",", 1},
        ResultCase{"EmptyDomain", Join("", kEmptySig), "|" + kUnknownStart + ",",
                   "|" + kUnknownStop + ",", 1},
        ResultCase{"MixedInOrder",
                   Join(kTwo, kTwoSig) + Join("nobody.example.org", kDemoSig) + "," +
                       Join(kDemo, kTwoSig) + Join(kDemo, kDemoSig),
                   "two.example.net|200,nobody.example.org|" + kUnknownStart +
                       ",demo.example.com|" + kBadSigStart + ",demo.example.com|200,",
                   "two.example.net|200,nobody.example.org|" + kUnknownStop + ",demo.example.com|" +
                       kBadSigStop + ",demo.example.com|200,",
                   4}),
    [](const ::testing::TestParamInfo<ResultCase>& tested) {
      return std::string(tested.param.name);
    });

TEST_F(HandlerTest, StartRecordsCallerMxAndTime) {
  Update("START", Join(kDemo, kDemoSig), true, "203.0.113.7", kNow);
  EXPECT_EQ(Describe(database.Records()),
            std::vector<std::string>{"demo.example.com 203.0.113.7 mx=1 1700000000"});
  // A later START moves the record.
  Update("START", Join(kDemo, kDemoSig), false, "198.51.100.20", kNow + 60);
  EXPECT_EQ(Describe(database.Records()),
            std::vector<std::string>{"demo.example.com 198.51.100.20 mx=0 1700000060"});
}

TEST_F(HandlerTest, StartSetsOnlyTheVerifiedDomains) {
  Update("START",
         Join(kDemo, kTwoSig) + Join("nobody.example.org", kDemoSig) + Join(kTwo, kTwoSig));
  EXPECT_EQ(Describe(database.Records()),
            std::vector<std::string>{"two.example.net 203.0.113.7 mx=0 1700000000"});
}

TEST_F(HandlerTest, StopRemovesOnlyTheVerifiedDomains) {
  Update("START", Join(kDemo, kDemoSig) + Join(kTwo, kTwoSig));
  ASSERT_EQ(database.Records().size(), 2u);
  const ServiceReply reply = Update("STOP", Join(kDemo, kDemoSig) + Join(kTwo, kDemoSig), false,
                                    "198.51.100.20", kNow + 5);
  EXPECT_EQ(reply.values[1].second, "demo.example.com|200,two.example.net|" + kBadSigStop + ",");
  EXPECT_EQ(Describe(database.Records()),
            std::vector<std::string>{"two.example.net 203.0.113.7 mx=0 1700000000"});
}

TEST_F(HandlerTest, StopWithoutRecordSucceeds) {
  const ServiceReply reply = Update("STOP", Join(kDemo, kDemoSig));
  EXPECT_EQ(reply.values, (Values{{"RET-CODE", "200"}, {"RET-DMLIST", "demo.example.com|200,"}}));
  EXPECT_TRUE(database.Records().empty());
}

struct CaseMatch {
  const char* name;
  std::string_view account;
  std::string_view sent;
  std::string_view signature;  // of the domain as sent, with "pw1"
};

class AccountCase : public HandlerTest, public ::testing::WithParamInterface<CaseMatch> {};

TEST_P(AccountCase, MatchesWithoutRegardToLetterCase) {
  const CaseMatch& c = GetParam();
  database.AddAccount(c.account, "pw1");
  EXPECT_EQ(Update("START", Join(c.sent, c.signature)).values[1].second,
            std::string(c.sent) + "|200,");
  ASSERT_EQ(database.Records().size(), 1u);
  // STOP with the name written as the account has it removes the same record.
  EXPECT_EQ(Update("STOP", Join(c.sent, c.signature)).values[1].second,
            std::string(c.sent) + "|200,");
  EXPECT_TRUE(database.Records().empty());
}

INSTANTIATE_TEST_SUITE_P(Names, AccountCase,
                         ::testing::Values(
                             // 'upper.example.orgpw1TQ59WM37hd'
                             CaseMatch{"AccountUpper", "UPPER.EXAMPLE.ORG", "upper.example.org",
                                       "15C2CE2BD7CFED8F980AEE7512327C5E"},
                             // 'Mixed.Example.Orgpw1TQ59WM37hd'
                             CaseMatch{"SentMixed", "mixed.example.org", "Mixed.Example.Org",
                                       "C34A1ACE9A3CD1282CE11451BF489C63"}),
                         [](const ::testing::TestParamInfo<CaseMatch>& tested) {
                           return std::string(tested.param.name);
                         });

TEST_F(HandlerTest, MixedCaseStartThenLowerCaseStop) {
  EXPECT_EQ(Update("START", Join("Demo.Example.COM", kDemoMixedCaseSig)).values[1].second,
            "Demo.Example.COM|200,");
  ASSERT_EQ(database.Records().size(), 1u);
  EXPECT_EQ(Update("STOP", Join(kDemo, kDemoSig)).values[1].second, "demo.example.com|200,");
  EXPECT_TRUE(database.Records().empty());
}

struct RefusalCase {
  const char* name;
  std::string list;
  std::string info;
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class Refusal : public HandlerTest,
                public ::testing::WithParamInterface<std::tuple<std::string, RefusalCase>> {};

TEST_P(Refusal, AnswersFiveHundredAndChangesNothing) {
  const auto& [command, c] = GetParam();
  database.SetRecord({std::string(kDemo), "198.51.100.9", true, 1600000000});
  const ServiceReply reply = Update(command, c.list);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.values, (Values{{"RET-CODE", "500"}, {"RET-INFO", c.info}}));
  EXPECT_EQ(Describe(database.Records()),
            std::vector<std::string>{"demo.example.com 198.51.100.9 mx=1 1600000000"});
}

INSTANTIATE_TEST_SUITE_P(
    Lists, Refusal,
    ::testing::Combine(
        ::testing::Values("START", "STOP"),
        ::testing::Values(
            RefusalCase{"Empty", "", "域名列表为空"},
            RefusalCase{"OnlyCommas", ",,,", "域名列表为空"},
            RefusalCase{"ItemWithoutBar", "demo.example.com,", "域名列表格式错误"},
            RefusalCase{"NoBarNoComma", "junk", "域名列表格式错误"},
            // One bad item refuses the whole list, the good ones before it included.
            RefusalCase{"GoodThenBad", Join(kDemo, kDemoSig) + "junk,", "域名列表格式错误"},
            RefusalCase{"BadThenGood", "junk," + Join(kTwo, kTwoSig), "域名列表格式错误"})),
    [](const ::testing::TestParamInfo<std::tuple<std::string, RefusalCase>>& tested) {
      return std::get<0>(tested.param) + "_" + std::get<1>(tested.param).name;
    });

struct StatusCase {
  const char* name;
  std::string_view path;
  std::string query;
  int status;
};

void PrintTo(const StatusCase& c, std::ostream* out) { *out << c.name; }

class HttpStatus : public HandlerTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(HttpStatus, AnswersWithoutValuesAndChangesNothing) {
  const ServiceReply reply = Send(GetParam().path, GetParam().query);
  EXPECT_EQ(reply.status, GetParam().status);
  EXPECT_TRUE(reply.values.empty());
  EXPECT_TRUE(database.Records().empty());
}

const std::string kGoodStart = "Command=START&glbMX=False&DomainList=" + Join(kDemo, kDemoSig);

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpStatus,
    ::testing::Values(
        StatusCase{"GetIpOnUpdatePath", kUpdate, "Command=GETIP&glbMX=False&", 400},
        StatusCase{"GetVerOnUpdatePath", kUpdate, "Command=GETVER&glbMX=False&", 400},
        StatusCase{"StartOnInfoPath", kInfo, kGoodStart, 400},
        StatusCase{"StopOnInfoPath", kInfo,
                   "Command=STOP&glbMX=False&DomainList=" + Join(kDemo, kDemoSig), 400},
        StatusCase{"EmptyQueryUpdate", kUpdate, "", 400},
        StatusCase{"EmptyQueryInfo", kInfo, "", 400},
        StatusCase{"StartWithoutList", kUpdate, "Command=START&glbMX=False&", 400},
        StatusCase{"LowerCaseStart", kUpdate,
                   "Command=start&glbMX=False&DomainList=" + Join(kDemo, kDemoSig), 400},
        StatusCase{"BadMX", kInfo, "Command=GETIP&glbMX=yes&", 400},
        StatusCase{"Root", "/", "Command=GETIP&glbMX=False&", 404},
        StatusCase{"EmptyPath", "", "Command=GETIP&glbMX=False&", 404},
        StatusCase{"PathCaseDiffers", "/quorvixddns/quorvixddns_server.asp", kGoodStart, 404},
        StatusCase{"TrailingSlash", "/QUORVIXDDNS/quorvixDDNS_server.asp/", kGoodStart, 404},
        StatusCase{"Records", "/records", "", 404}),
    [](const ::testing::TestParamInfo<StatusCase>& tested) {
      return std::string(tested.param.name);
    });

TEST_F(HandlerTest, GetIpAnswersTheCaller) {
  for (const char* caller : {"203.0.113.7", "2001:db8::1"}) {
    const ServiceReply reply = Send(kInfo, "Command=GETIP&glbMX=True&", caller);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.values, (Values{{"RET-CODE", "200"}, {"Y-IP", caller}}));
  }
}

TEST_F(HandlerTest, GetVerAnswersTheConfiguredVersion) {
  EXPECT_EQ(Send(kInfo, "Command=GETVER&glbMX=False&").values,
            (Values{{"RET-CODE", "200"}, {"Major", "1"}, {"Minor", "1"}}));
  options.major = 3;
  options.minor = 14;
  EXPECT_EQ(Send(kInfo, "Command=GETVER&glbMX=False&").values,
            (Values{{"RET-CODE", "200"}, {"Major", "3"}, {"Minor", "14"}}));
}

TEST_F(HandlerTest, LogLinesHoldNoSecrets) {
  const std::vector<std::pair<std::string_view, std::string>> requests = {
      {kUpdate, kGoodStart},
      {kUpdate, "Command=START&glbMX=True&DomainList=" + Join(kDemo, kDemoPassword)},
      {kUpdate, "Command=START&glbMX=True&DomainList=" + Join(kTwo, kDemoSig)},
      {kUpdate,
       "Command=STOP&glbMX=False&DomainList=" + Join(kDemo, kDemoSig) + Join(kTwo, kTwoSig)},
      {kUpdate, "Command=STOP&glbMX=False&DomainList=" + Join(kDemo, kDemoSig) + "junk,"},
      {kUpdate, "Command=START&glbMX=False&DomainList=" + std::string(kTwoPassword)},
      {kInfo, kGoodStart},
      {"/elsewhere", kGoodStart},
      {kInfo, "Command=GETIP&glbMX=False&"},
  };
  for (const auto& [path, query] : requests) {
    const std::string line = Send(path, query).logLine;
    EXPECT_FALSE(line.empty()) << query;
    for (std::string_view secret : {kDemoPassword, kTwoPassword, kDemoSig, kTwoSig}) {
      EXPECT_EQ(line.find(secret), std::string::npos) << line;
    }
  }
}

}  // namespace
}  // namespace quorvix::service
