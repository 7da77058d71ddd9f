#include "protocol/signing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/client_fixture.h"

namespace quorvix {
namespace {

using testing::ClientFixture;

// Upper-case MD5 of the text in the comment, made outside the program on a shell with
//   printf '%s' 'TEXT' | md5sum | tr a-f A-F
const std::string kSigA = "6F7FB1EAF0E3E00C99CF55B536E10036";       // a.compw1TQ59WM37hd
const std::string kSigB = "0787AC34972DC1ABF705FFCDCDE9AB4F";       // b.orgp|2TQ59WM37hd
const std::string kSigNoPass = "210955544BA944FD04D12F0C90EF92C3";  // a.comTQ59WM37hd
const std::string kSigNoName = "1D9C342569FA8554770BE5BD6E5F3116";  // pwTQ59WM37hd
const std::string kSigBlanks = "2E10D38EA106BD422C5E5800699FBDB8";  // ' a.com  pw1 TQ59WM37hd'
const std::string kSigC = "758B2EAC7018570AB6B052D384B1E8E8";       // c.netnewTQ59WM37hd

std::string LeftOut(std::string_view domain) {
  return "域名" + std::string(domain) +
         "签名失败,域名和密码只能包含英文字母、数字和英文符号,本次未发送该域名";
}

struct SignCase {
  std::string name;
  std::string stored;
  std::string expected;
  std::vector<std::string> lines;  // every line written
};

void PrintTo(const SignCase& c, std::ostream* os) { *os << c.name; }

class SignedDomainListCases : public ::testing::TestWithParam<SignCase> {};

TEST_P(SignedDomainListCases, SignsEachEntry) {
  const SignCase& c = GetParam();
  ClientFixture client;
  client.StoreDomains(c.stored);
  // With verbose lines off, only the lines every user must see are left.
  client.state.glbLogVerbose = false;
  EXPECT_EQ(SignedDomainList(client.store, client.recorder.log()), c.expected);
  EXPECT_EQ(client.recorder.lines, c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SignedDomainListCases,
    ::testing::Values(
        SignCase{"Empty", "", "", {}},
        SignCase{"OneEntry", "a.com|pw1,", "a.com|" + kSigA + ",", {}},
        SignCase{"NoClosingComma", "a.com|pw1", "a.com|" + kSigA + ",", {}},
        SignCase{"EmptyPassword", "a.com|,", "a.com|" + kSigNoPass + ",", {}},
        SignCase{"EmptyDomain", "|pw,", "|" + kSigNoName + ",", {}},
        SignCase{"BarInPassword", "b.org|p|2,", "b.org|" + kSigB + ",", {}},
        SignCase{
            "OrderKept", "b.org|p|2,a.com|pw1,", "b.org|" + kSigB + ",a.com|" + kSigA + ",", {}},
        SignCase{"PiecesWithoutBarDropped",
                 "junk,a.com|pw1,,b.org.p2,b.org|p|2,",
                 "a.com|" + kSigA + ",b.org|" + kSigB + ",",
                 {}},
        SignCase{"BlanksSignedAndSent", " a.com | pw1 ,", " a.com |" + kSigBlanks + ",", {}},
        SignCase{"ChinesePasswordLeftOut",
                 "x.cn|密码1,a.com|pw1,",
                 "a.com|" + kSigA + ",",
                 {LeftOut("x.cn")}},
        SignCase{"EmojiPasswordLeftOut",
                 "a.com|pw1,e.net|pw\xF0\x9F\x98\x80,b.org|p|2,",
                 "a.com|" + kSigA + ",b.org|" + kSigB + ",",
                 {LeftOut("e.net")}},
        SignCase{"ChineseDomainLeftOut",
                 "例子.cn|pw1,a.com|pw1,",
                 "a.com|" + kSigA + ",",
                 {LeftOut("例子.cn")}},
        // Bytes that are no UTF-8 have no code either: the digest would take them as "?".
        SignCase{"MalformedPasswordLeftOut",
                 "m.org|pw\xFF,a.com|pw1,",
                 "a.com|" + kSigA + ",",
                 {LeftOut("m.org")}},
        SignCase{"AllLeftOut", "x.cn|密,y.cn|码,", "", {LeftOut("x.cn"), LeftOut("y.cn")}}),
    [](const auto& param) { return param.param.name; });

TEST(SignedDomainListTest, ReadsTheListAtEachCall) {
  ClientFixture client;
  client.StoreDomains("a.com|pw1,");
  EXPECT_EQ(SignedDomainList(client.store, client.recorder.log()), "a.com|" + kSigA + ",");
  client.StoreDomains("c.net|new,");
  EXPECT_EQ(SignedDomainList(client.store, client.recorder.log()), "c.net|" + kSigC + ",");
  client.StoreDomains("");
  EXPECT_EQ(SignedDomainList(client.store, client.recorder.log()), "");
}

}  // namespace
}  // namespace quorvix
