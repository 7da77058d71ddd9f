#include "protocol/query.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace quorvix::service {
namespace {

struct QueryCase {
  const char* name;
  std::string_view query;
  bool parses;
  // What a parsed query holds; ignored when it does not parse.
  std::string_view command;
  bool glbMX;
  bool hasDomainList;
  std::string_view domainList;
};

void PrintTo(const QueryCase& c, std::ostream* out) { *out << c.name << ": " << c.query; }

class ParseQueryTable : public ::testing::TestWithParam<QueryCase> {};

TEST_P(ParseQueryTable, ReadsWhatTheClientWrites) {
  const QueryCase& c = GetParam();
  const std::optional<ServiceQuery> parsed = ParseQuery(c.query);
  ASSERT_EQ(parsed.has_value(), c.parses);
  if (!parsed) return;
  EXPECT_EQ(parsed->command, c.command);
  EXPECT_EQ(parsed->glbMX, c.glbMX);
  EXPECT_EQ(parsed->hasDomainList, c.hasDomainList);
  EXPECT_EQ(parsed->domainList, c.domainList);
}

INSTANTIATE_TEST_SUITE_P(
    Queries, ParseQueryTable,
    ::testing::Values(
        // The client's own queries, byte for byte.
        QueryCase{"ClientGetIp", "Command=GETIP&glbMX=False&", true, "GETIP", false, false, ""},
        QueryCase{"ClientGetVer", "Command=GETVER&glbMX=True&", true, "GETVER", true, false, ""},
        QueryCase{"ClientStart", "Command=START&glbMX=True&DomainList=a.com|ABC,b.org|DEF,", true,
                  "START", true, true, "a.com|ABC,b.org|DEF,"},
        QueryCase{"ClientStop", "Command=STOP&glbMX=False&DomainList=a.com|ABC,", true, "STOP",
                  false, true, "a.com|ABC,"},
        // Empty pieces anywhere are skipped.
        QueryCase{"NoTrailingAmpersand", "Command=GETIP&glbMX=False", true, "GETIP", false, false,
                  ""},
        QueryCase{"EmptyPieces", "&&Command=GETIP&&glbMX=False&&", true, "GETIP", false, false, ""},
        // An empty list parses; refusing it is the handler's business.
        QueryCase{"EmptyDomainList", "Command=START&glbMX=False&DomainList=", true, "START", false,
                  true, ""},
        // The list is kept whole: pipes, commas, "=" and empty items included.
        QueryCase{"ListKeptAsSent", "Command=STOP&glbMX=False&DomainList=a|b|c,,d=e|f,|", true,
                  "STOP", false, true, "a|b|c,,d=e|f,|"},
        QueryCase{"UnknownNamesIgnored", "Command=GETIP&foo=bar&glbMX=False&_=&x=1=2", true,
                  "GETIP", false, false, ""},
        QueryCase{"NamesInAnyOrder", "DomainList=a|B,&glbMX=True&Command=START", true, "START",
                  true, true, "a|B,"},
        QueryCase{"InfoCommandWithList", "Command=GETVER&glbMX=False&DomainList=a|b,", true,
                  "GETVER", false, true, "a|b,"},
        // Refused.
        QueryCase{"Empty", "", false, "", false, false, ""},
        QueryCase{"MissingCommand", "glbMX=False&DomainList=a.com|ABC,", false, "", false, false,
                  ""},
        QueryCase{"EmptyCommand", "Command=&glbMX=False&", false, "", false, false, ""},
        QueryCase{"UnknownCommand", "Command=RESTART&glbMX=False&", false, "", false, false, ""},
        QueryCase{"LowerCaseCommand", "Command=start&glbMX=False&DomainList=a.com|ABC,", false, "",
                  false, false, ""},
        QueryCase{"LowerCaseName", "command=GETIP&glbMX=False&", false, "", false, false, ""},
        QueryCase{"LowerCaseMX", "Command=GETIP&glbMX=true&", false, "", false, false, ""},
        QueryCase{"MissingMX", "Command=GETIP&", false, "", false, false, ""},
        QueryCase{"EmptyMX", "Command=GETIP&glbMX=&", false, "", false, false, ""},
        QueryCase{"DuplicateCommand", "Command=GETIP&Command=GETIP&glbMX=False&", false, "", false,
                  false, ""},
        QueryCase{"DuplicateMX", "Command=GETIP&glbMX=False&glbMX=False&", false, "", false, false,
                  ""},
        QueryCase{"DuplicateList", "Command=START&glbMX=False&DomainList=a|b,&DomainList=c|d,",
                  false, "", false, false, ""},
        QueryCase{"PieceWithoutEquals", "Command=GETIP&glbMX=False&junk", false, "", false, false,
                  ""},
        QueryCase{"StartWithoutList", "Command=START&glbMX=False&", false, "", false, false, ""},
        QueryCase{"StopWithoutList", "Command=STOP&glbMX=True", false, "", false, false, ""}),
    [](const ::testing::TestParamInfo<QueryCase>& tested) {
      return std::string(tested.param.name);
    });

}  // namespace
}  // namespace quorvix::service
