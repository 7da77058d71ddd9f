#include "settings/domain_list.h"

#include <gtest/gtest.h>

namespace quorvix {
namespace {

// Pieces without "|" are skipped, the first "|" splits; only a domain's characters are checked.
TEST(DomainList, ReadAddDeleteAndCheck) {
  std::string read;
  for (const DomainEntry& e : ReadDomainList("b.com|2,junk,,a.com|p|q,|pw,B.com|, a | b ")) {
    read += "[" + e.domain + "/" + e.password + "]";
  }
  EXPECT_EQ(read, "[b.com/2][a.com/p|q][/pw][B.com/][ a / b ]");
  std::string list = "a|1,ab|2,ba|3,junk,,A|5,a|4, a|6";
  str_delDomain(list, "a");
  str_addDomain(list, " B.Com ", " p|w ");
  str_addDomain(list, "", "");
  EXPECT_EQ(list, "ab|2,ba|3,A|5, a|6, B.Com | p|w ,|,");
  str_delDomain(list, "");
  EXPECT_EQ(list, "ab|2,ba|3,A|5, a|6, B.Com | p|w ,");
  EXPECT_EQ(checkReg("domain", "09azAZ.-"), true);
  for (const char c : std::string_view("/:@[`{,|\x7F _\n\xE4\0", 14)) {
    EXPECT_EQ(checkReg("domain", std::string("a") + c + "b"), false) << int(c);
  }
  EXPECT_EQ(checkReg("domain", ""), false);
  EXPECT_EQ(checkReg("other", "abc.com"), false);
  EXPECT_EQ(checkReg("Domain", "abc.com"), std::nullopt);
}

}  // namespace
}  // namespace quorvix
