#include "protocol/query.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace quorvix::service {
namespace {

// "COMMAND True|False" and " list=..." when a DomainList came, or "refused".
std::string Show(std::string_view query) {
  const std::optional<ServiceQuery> parsed = ParseQuery(query);
  if (!parsed) return "refused";
  return parsed->command + (parsed->glbMX ? " True" : " False") +
         (parsed->hasDomainList ? " list=" + parsed->domainList : "");
}

TEST(ParseQuery, ReadsWhatTheClientWritesAndRefusesTheRest) {
  const struct {
    std::string_view query;
    std::string_view shown;
  } cases[] = {
      // The client's own queries, byte for byte.
      {"Command=GETIP&glbMX=False&", "GETIP False"},
      {"Command=GETVER&glbMX=True&", "GETVER True"},
      {"Command=START&glbMX=True&DomainList=a.com|ABC,b.org|DEF,",
       "START True list=a.com|ABC,b.org|DEF,"},
      {"Command=STOP&glbMX=False&DomainList=a.com|ABC,", "STOP False list=a.com|ABC,"},
      // Empty pieces and unknown names are skipped; names come in any order.
      {"&&Command=GETIP&&glbMX=False&&", "GETIP False"},
      {"DomainList=a|B,&foo=bar&_=&x=1=2&glbMX=True&Command=START", "START True list=a|B,"},
      // The list is kept as sent, empty or not; refusing it is the handler's business.
      {"Command=START&glbMX=False&DomainList=", "START False list="},
      {"Command=STOP&glbMX=False&DomainList=a|b|c,,d=e|f,|", "STOP False list=a|b|c,,d=e|f,|"},
      // Refused.
      {"", "refused"},
      {"command=GETIP&glbMX=False&", "refused"},
      {"Command=RESTART&glbMX=False&", "refused"},
      {"Command=start&glbMX=False&DomainList=a.com|ABC,", "refused"},
      {"Command=GETIP&glbMX=true&", "refused"},
      {"Command=GETIP&", "refused"},
      {"Command=GETIP&Command=GETIP&glbMX=False&", "refused"},
      {"Command=GETIP&glbMX=False&glbMX=False&", "refused"},
      {"Command=START&glbMX=False&DomainList=a|b,&DomainList=c|d,", "refused"},
      {"Command=GETIP&glbMX=False&junk", "refused"},
      {"Command=STOP&glbMX=True", "refused"},
  };
  for (const auto& c : cases) EXPECT_EQ(Show(c.query), c.shown) << c.query;
}

}  // namespace
}  // namespace quorvix::service
