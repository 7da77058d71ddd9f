#include "protocol/signing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/client_fixture.h"

namespace quorvix {
namespace {

// Upper-case MD5 of the text in the comment, made outside the program on a shell with
//   printf '%s' 'TEXT' | md5sum | tr a-f A-F
const std::string kA = "a.com|6F7FB1EAF0E3E00C99CF55B536E10036,";       // a.compw1TQ59WM37hd
const std::string kB = "b.org|0787AC34972DC1ABF705FFCDCDE9AB4F,";       // b.orgp|2TQ59WM37hd
const std::string kNoPass = "a.com|210955544BA944FD04D12F0C90EF92C3,";  // a.comTQ59WM37hd
const std::string kNoName = "|1D9C342569FA8554770BE5BD6E5F3116,";       // pwTQ59WM37hd
// ' a.com  pw1 TQ59WM37hd'
const std::string kBlanks = " a.com |2E10D38EA106BD422C5E5800699FBDB8,";

TEST(SignedDomainListTest, SignsEachEntryItCan) {
  const struct {
    std::string stored, expected;
    std::vector<std::string> leftOut;  // the domains named by a line
  } cases[] = {
      {"b.org|p|2,a.com|pw1", kB + kA, {}},  // in order, "|" in a password, no closing comma
      {"a.com|,", kNoPass, {}},
      {"|pw,", kNoName, {}},
      {"junk,a.com|pw1,,b.org.p2,", kA, {}},
      {" a.com | pw1 ,", kBlanks, {}},  // blanks are signed and sent as they are
      // No character outside single-byte code page 936, nor a byte that is no UTF-8.
      {"x.cn|密码1,a.com|pw1,e.net|pw\xF0\x9F\x98\x80,例子.cn|pw1,m.org|pw\xFF,b.org|p|2,",
       kA + kB,
       {"x.cn", "e.net", "例子.cn", "m.org"}},
      {"", "", {}},
  };
  // One store for all: the list is read afresh at each call.
  testing::ClientFixture client;
  client.state.glbLogVerbose = false;  // the lines left are those every user sees
  for (const auto& c : cases) {
    client.recorder.lines.clear();
    client.StoreDomains(c.stored);
    EXPECT_EQ(SignedDomainList(client.store, client.recorder.log()), c.expected) << c.stored;
    std::vector<std::string> lines;
    for (const std::string& domain : c.leftOut) lines.push_back(UnsignableEntryLine(domain));
    EXPECT_EQ(client.recorder.lines, lines);
  }
  EXPECT_EQ(UnsignableEntryLine("x.cn"),
            "域名x.cn签名失败,域名和密码只能包含英文字母、数字和英文符号,本次未发送该域名");
}

}  // namespace
}  // namespace quorvix
