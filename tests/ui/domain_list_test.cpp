#include "settings/domain_list.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace quorvix {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// Pieces without "|" are skipped; the first "|" splits; order, case and spaces are kept.
TEST(DomainList, ReadAndAdd) {
  const std::pair<std::string, Entries> cases[] = {
      {"", {}},
      {"b.com|2,junk,,a.com|p|q,|pw,B.com|,",
       {{"b.com", "2"}, {"a.com", "p|q"}, {"", "pw"}, {"B.com", ""}}},
      {" a.com | pw ", {{" a.com ", " pw "}}}};  // no closing comma
  for (const auto& [list, entries] : cases) {
    Entries read;
    for (const DomainEntry& entry : ReadDomainList(list)) {
      read.emplace_back(entry.domain, entry.password);
    }
    EXPECT_EQ(read, entries) << list;
  }
  std::string list;  // an entry is added as typed
  str_addDomain(list, " B.Com ", " p|w ");
  str_addDomain(list, "", "");
  EXPECT_EQ(list, " B.Com | p|w ,|,");
}

// Only the characters of a domain count, not the structure of the name.
TEST(DomainList, CheckRegTable) {
  const std::tuple<std::string, std::string, std::optional<bool>> cases[] = {
      {"domain", "", false},       {"domain", "09azAZ.-", true}, {"domain", "-..-", true},
      {"other", "abc.com", false}, {"Domain", "abc.com", {}},    {"", "", {}}};
  for (const auto& [pattern, value, verdict] : cases) {
    EXPECT_EQ(checkReg(pattern, value), verdict) << pattern << " / " << value;
  }
  // The neighbours of every allowed range, and other characters a name cannot hold.
  for (const char c : std::string_view("/:@[`{,|\x7F _\n\xE4\0", 14)) {
    EXPECT_EQ(checkReg("domain", std::string("a") + c + "b"), false) << int(c);
  }
}

TEST(DomainList, DeleteTable) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"", "a", ""},
      // Every exact match goes, letter case and spaces count.
      {"a|1,ab|2,ba|3,a|4,A|5, a|6", "a", "ab|2,ba|3,A|5, a|6,"},
      {"junk,b|p|q,,c|2", "x", "b|p|q,c|2,"},  // damaged pieces go
      {"|1,a|2,", "", "a|2,"}};
  for (const auto& [before, domain, after] : cases) {
    std::string list = before;
    str_delDomain(list, domain);
    EXPECT_EQ(list, after) << before << " - " << domain;
  }
}

}  // namespace
}  // namespace quorvix
