#include "protocol/request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/client_fixture.h"

namespace quorvix {
namespace {

using testing::ClientFixture;

// Upper-case MD5 of domain + password + "TQ59WM37hd", made outside the program on a shell:
//   printf '%s' 'a.compw1TQ59WM37hd' | md5sum     (a.com, password pw1)
//   printf '%s' 'b.orgp|2TQ59WM37hd' | md5sum     (b.org, password p|2)
constexpr std::string_view kSigA = "6F7FB1EAF0E3E00C99CF55B536E10036";
constexpr std::string_view kSigB = "0787AC34972DC1ABF705FFCDCDE9AB4F";

// Everything after the query, for each of the two built-in servers.
const std::string kInfoTail =
    " HTTP/1.1\r\nHost: ip.quorvix.com\r\nAccept: */*\r\nPragma: no-cache\r\n"
    "Connection: close\r\nReferer: ip.quorvix.com\r\nUser-Agent: quorvixDDNS/1.1\r\n\r\n";
const std::string kUpdateTail =
    " HTTP/1.1\r\nHost: ddns.quorvix.com\r\nAccept: */*\r\nPragma: no-cache\r\n"
    "Connection: close\r\nReferer: ddns.quorvix.com\r\nUser-Agent: quorvixDDNS/1.1\r\n\r\n";
const std::string kInfoPath = "GET /quorvixDDNS_GETUserIp.asp?Command=";
const std::string kUpdatePath = "GET /QUORVIXDDNS/quorvixDDNS_server.asp?Command=";

const ServiceEndpoints kBuiltIn{"ddns.quorvix.com", "ip.quorvix.com", 80};

TEST(RequestTextTest, GetIpIsByteExact) {
  EXPECT_EQ(RequestText("GETIP", false, "", kBuiltIn),
            "GET /quorvixDDNS_GETUserIp.asp?Command=GETIP&glbMX=False& HTTP/1.1\r\n"
            "Host: ip.quorvix.com\r\nAccept: */*\r\nPragma: no-cache\r\nConnection: close\r\n"
            "Referer: ip.quorvix.com\r\nUser-Agent: quorvixDDNS/1.1\r\n\r\n");
}

struct RequestCase {
  std::string name;
  std::string command;
  bool glbMX;
  std::string domainList;
  std::string expected;
};

void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }

class RequestTextCases : public ::testing::TestWithParam<RequestCase> {};

TEST_P(RequestTextCases, MatchesGolden) {
  const RequestCase& c = GetParam();
  EXPECT_EQ(RequestText(c.command, c.glbMX, c.domainList, kBuiltIn), c.expected);
}

const std::string kSignedPair =
    "a.com|" + std::string(kSigA) + ",b.org|" + std::string(kSigB) + ",";

INSTANTIATE_TEST_SUITE_P(
    Commands, RequestTextCases,
    ::testing::Values(
        RequestCase{"GetIpMx", "GETIP", true, "", kInfoPath + "GETIP&glbMX=True&" + kInfoTail},
        RequestCase{"GetVer", "GETVER", false, "", kInfoPath + "GETVER&glbMX=False&" + kInfoTail},
        RequestCase{"GetVerMx", "GETVER", true, "", kInfoPath + "GETVER&glbMX=True&" + kInfoTail},
        // The information commands carry no list even when one is passed.
        RequestCase{"GetIpIgnoresList", "GETIP", false, "a.com|X,",
                    kInfoPath + "GETIP&glbMX=False&" + kInfoTail},
        RequestCase{"Start", "START", false, kSignedPair,
                    kUpdatePath + "START&glbMX=False&DomainList=" + kSignedPair + kUpdateTail},
        RequestCase{"StopMx", "STOP", true, kSignedPair,
                    kUpdatePath + "STOP&glbMX=True&DomainList=" + kSignedPair + kUpdateTail},
        RequestCase{"StartEmptyList", "START", false, "",
                    kUpdatePath + "START&glbMX=False&DomainList=" + kUpdateTail},
        // Command names are compared exactly: anything else has no request at all.
        RequestCase{"LowerCaseStart", "start", false, kSignedPair, ""},
        RequestCase{"LowerCaseGetIp", "getip", false, "", ""},
        RequestCase{"Unknown", "FOO", false, "", ""}, RequestCase{"Empty", "", false, "", ""},
        RequestCase{"TrailingBlank", "STOP ", false, kSignedPair, ""}),
    [](const auto& param) { return param.param.name; });

TEST(RequestTextTest, UsesGivenHostsAndLeavesPortOut) {
  const ServiceEndpoints other{"update.example", "info.example", 8080};
  const std::string start = RequestText("START", false, "", other);
  EXPECT_NE(start.find("\r\nHost: update.example\r\n"), std::string::npos) << start;
  EXPECT_NE(start.find("\r\nReferer: update.example\r\n"), std::string::npos) << start;
  const std::string getVer = RequestText("GETVER", false, "", other);
  EXPECT_NE(getVer.find("\r\nHost: info.example\r\n"), std::string::npos) << getVer;
  EXPECT_NE(getVer.find("\r\nReferer: info.example\r\n"), std::string::npos) << getVer;
  EXPECT_EQ((start + getVer).find("8080"), std::string::npos);
}

// BuildRequest signs the stored list for START and STOP and reads the MX flag from the state.
struct BuildCase {
  std::string name;
  std::string command;
  bool glbMX;
  std::string expected;
};

void PrintTo(const BuildCase& c, std::ostream* os) { *os << c.name; }

class BuildRequestCases : public ::testing::TestWithParam<BuildCase> {};

TEST_P(BuildRequestCases, SignsStoredList) {
  const BuildCase& c = GetParam();
  ClientFixture client;
  client.StoreDomains("a.com|pw1,b.org|p|2,");
  client.state.glbMX = c.glbMX;
  EXPECT_EQ(client.runner.BuildRequest(c.command), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, BuildRequestCases,
    ::testing::Values(
        BuildCase{"Start", "START", false,
                  "GET /QUORVIXDDNS/quorvixDDNS_server.asp?Command=START&glbMX=False&DomainList="
                  "a.com|6F7FB1EAF0E3E00C99CF55B536E10036,b.org|0787AC34972DC1ABF705FFCDCDE9AB4F,"
                  " HTTP/1.1\r\nHost: ddns.quorvix.com\r\nAccept: */*\r\nPragma: no-cache\r\n"
                  "Connection: close\r\nReferer: ddns.quorvix.com\r\n"
                  "User-Agent: quorvixDDNS/1.1\r\n\r\n"},
        BuildCase{"Stop", "STOP", false,
                  kUpdatePath + "STOP&glbMX=False&DomainList=" + kSignedPair + kUpdateTail},
        BuildCase{"StartMx", "START", true,
                  kUpdatePath + "START&glbMX=True&DomainList=" + kSignedPair + kUpdateTail},
        BuildCase{"GetIpMx", "GETIP", true, kInfoPath + "GETIP&glbMX=True&" + kInfoTail},
        BuildCase{"GetVer", "GETVER", false, kInfoPath + "GETVER&glbMX=False&" + kInfoTail},
        BuildCase{"Unknown", "FOO", false, ""}, BuildCase{"LowerCase", "stop", false, ""},
        BuildCase{"Empty", "", false, ""}),
    [](const auto& param) { return param.param.name; });

TEST(BuildRequestTest, InfoCommandsDoNotTouchTheList) {
  ClientFixture client;
  client.StoreDomains("x.cn|密码,");  // signing it would write a line
  for (const char* command : {"GETIP", "GETVER", "FOO"}) {
    client.runner.BuildRequest(command);
  }
  EXPECT_EQ(client.recorder.lines, std::vector<std::string>{});
}

}  // namespace
}  // namespace quorvix
