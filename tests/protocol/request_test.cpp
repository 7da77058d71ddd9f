#include "protocol/request.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "support/client_fixture.h"

namespace quorvix {
namespace {

// Everything after the query, for each of the two servers.
std::string Tail(const std::string& host) {
  return " HTTP/1.1\r\nHost: " + host +
         "\r\nAccept: */*\r\nPragma: no-cache\r\nConnection: close\r\nReferer: " + host +
         "\r\nUser-Agent: quorvixDDNS/1.1\r\n\r\n";
}

// BuildRequest signs the stored list for START and STOP and reads the MX flag from the state.
TEST(BuildRequestTest, MatchesGolden) {
  // Signatures as in signing_test.cpp; the third entry cannot be signed and is left out.
  const std::string list =
      "DomainList=a.com|6F7FB1EAF0E3E00C99CF55B536E10036,"
      "b.org|0787AC34972DC1ABF705FFCDCDE9AB4F,";
  const std::string update = "GET /QUORVIXDDNS/quorvixDDNS_server.asp?Command=";
  const std::string info = "GET /quorvixDDNS_GETUserIp.asp?Command=";
  const std::tuple<std::string, bool, std::string> cases[] = {
      // command, glbMX, request
      {"GETIP", false, testing::kGetIpRequest},
      {"GETVER", true, info + "GETVER&glbMX=True&" + Tail("ip.quorvix.com")},
      {"START", false, update + "START&glbMX=False&" + list + Tail("ddns.quorvix.com")},
      {"STOP", true, update + "STOP&glbMX=True&" + list + Tail("ddns.quorvix.com")},
      // Command names are compared exactly: anything else has no request at all.
      {"start", false, ""},
      {"", false, ""},
  };
  for (const auto& [command, glbMX, request] : cases) {
    testing::ClientFixture client;
    client.StoreDomains("a.com|pw1,x.cn|密码,b.org|p|2,");
    client.state.glbMX = glbMX;
    EXPECT_EQ(client.runner.BuildRequest(command), request) << command;
    // Only START and STOP sign the list, which writes a line for the entry left out.
    EXPECT_EQ(client.recorder.lines.size(), command == "START" || command == "STOP" ? 1u : 0u);
  }
}

}  // namespace
}  // namespace quorvix
