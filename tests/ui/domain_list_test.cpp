#include "ui/setup/domain_list.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvix {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

TEST(DomainList, ReadTable) {
  const struct {
    std::string list;
    Entries entries;
  } cases[] = {{"", {}},
               {"a.com|pw,", {{"a.com", "pw"}}},
               {"junk,a.com|x,,", {{"a.com", "x"}}},
               {"a.com|p|q,", {{"a.com", "p|q"}}},
               {"|pw,", {{"", "pw"}}},
               {"a.com|,", {{"a.com", ""}}},
               {"b.com|2,a.com|1,B.com|3,", {{"b.com", "2"}, {"a.com", "1"}, {"B.com", "3"}}},
               {"a.com|pw", {{"a.com", "pw"}}},
               {" a.com | pw ,", {{" a.com ", " pw "}}}};
  for (const auto& c : cases) {
    Entries read;
    for (const DomainEntry& entry : ReadDomainList(c.list)) {
      read.emplace_back(entry.domain, entry.password);
    }
    EXPECT_EQ(read, c.entries) << c.list;
  }
}

TEST(DomainList, CheckRegTable) {
  const struct {
    std::string pattern, value;
    std::optional<bool> verdict;
  } cases[] = {{"domain", "", false},
               {"domain", "abc.com", true},
               {"domain", "ABC-1.x", true},
               {"domain", "zZ09", true},
               // Only the characters count, not the structure of the name.
               {"domain", ".", true},
               {"domain", "-..-", true},
               {"domain", "a b.com", false},
               {"domain", "a_b.com", false},
               {"domain", "中文.com", false},
               {"domain", "a.com/", false},
               {"domain", "a:b", false},
               {"domain", "a.com\n", false},
               {"domain", std::string("a\0b", 3), false},
               {"other", "abc.com", false},
               {"other", "", false},
               {"Domain", "abc.com", {}},
               {"", "abc.com", {}},
               {"x", "", {}}};
  for (const auto& c : cases) {
    EXPECT_EQ(checkReg(c.pattern, c.value), c.verdict) << c.pattern << " / " << c.value;
  }
  // The neighbours of every allowed range.
  for (const char c : std::string_view("/:@[`{,|\x7F")) {
    EXPECT_EQ(checkReg("domain", std::string("a") + c), false) << c;
  }
}

TEST(DomainList, AddAppendsTheEntryAsTyped) {
  std::string list;
  str_addDomain(list, "a.com", "pw");
  EXPECT_EQ(list, "a.com|pw,");
  str_addDomain(list, " B.Com ", " p|w ");
  EXPECT_EQ(list, "a.com|pw, B.Com | p|w ,");
  str_addDomain(list, "", "");
  EXPECT_EQ(list, "a.com|pw, B.Com | p|w ,|,");
}

TEST(DomainList, DeleteTable) {
  const struct {
    std::string list, domain, expected;
  } cases[] = {{"a.com|1,", "a.com", ""},
               {"", "a.com", ""},
               {"a|1,b|2,a|3,c|4,", "a", "b|2,c|4,"},      // duplicates all go
               {"a.com|1,A.com|2,", "a.com", "A.com|2,"},  // letter case counts
               {"junk,b|1,,c|2", "x", "b|1,c|2,"},         // damaged pieces go
               {"a|p|q,b|x,", "b", "a|p|q,"},
               {"a|1,ab|2,ba|3,", "a", "ab|2,ba|3,"},
               {"|1,a|2,", "", "a|2,"},
               {" a|1,a|2,", "a", " a|1,"}};
  for (const auto& c : cases) {
    std::string list = c.list;
    str_delDomain(list, c.domain);
    EXPECT_EQ(list, c.expected) << c.list << " - " << c.domain;
  }
}

}  // namespace
}  // namespace quorvix
