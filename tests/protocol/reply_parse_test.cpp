#include "protocol/reply_parse.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

namespace quorvix {
namespace {

TEST(ReplyParseTest, StatusCode) {
  // No status: four fields, two, an empty one, a trailing blank, no CR LF, a bare LF, past
  // 16 bits (65736 wraps to 200), and a good line that is not the first.
  const std::pair<std::string_view, std::int16_t> cases[] = {
      {"HTTP/1.1 200 OK\r\n", 200},
      {"HTTP/1.0 200 OK\r\nRET-CODE: 500\r\n\r\n", 200},
      {"HTTP/1.1 -5 OK\r\n", -5},
      {"HTTP/1.1 404 Not Found\r\n", kNoStatus},
      {"HTTP/1.1 200\r\n", kNoStatus},
      {"HTTP/1.1  200 OK\r\n", kNoStatus},
      {"HTTP/1.1 200 OK \r\n", kNoStatus},
      {"HTTP/1.1 200 OK", kNoStatus},
      {"HTTP/1.1 200 OK\n", kNoStatus},
      {"", kNoStatus},
      {"HTTP/1.1 32768 OK\r\n", kNoStatus},
      {"HTTP/1.1 65736 OK\r\n", kNoStatus},
      {"garbage\r\nHTTP/1.1 200 OK\r\n", kNoStatus}};
  for (const auto& [reply, code] : cases) EXPECT_EQ(ReplyStatusCode(reply), code) << reply;
}

TEST(ReplyParseTest, Header) {
  const std::tuple<std::string, std::string_view, std::string_view> cases[] = {
      // reply, name, value
      {"HTTP/1.1 200 OK\r\nret-code: 200\r\n", "RET-Code", "200"},
      {"RET-CODE:   2 0 0  \r\n", "RET-CODE", "2 0 0"},
      {"RET-CODE:\t200\r\n", "RET-CODE", "\t200"},
      {"RET-CODE:    \r\n", "RET-CODE", ""},
      {"RET-CODE: 200", "RET-CODE", ""},  // no CR LF after the value
      {"RET-CODE: 200\nY-IP: 1.1.1.1\r\n", "RET-CODE", "200\nY-IP: 1.1.1.1"},
      {"RET-CODE: 300\r\nRET-CODE: 200\r\n", "RET-CODE", "300"},
      {"XY-IP: 1.1.1.1\r\nY-IP: 2.2.2.2\r\n", "Y-IP", "1.1.1.1"},
      {"HTTP/1.1 200 OK\r\n\r\nY-IP: 3.3.3.3\r\n", "Y-IP", "3.3.3.3"},  // in the body
      {"HTTP/1.1 200 OK\r\nRET-CODE 200\r\n", "RET-CODE", ""},
      {std::string(200'000, 'R') + "Y-IP: 4.4.4.4\r\n", "Y-IP", "4.4.4.4"}};
  for (const auto& [reply, name, value] : cases) {
    EXPECT_EQ(ReplyHeader(reply, name), value) << name << " in " << reply.substr(0, 50);
  }
}

TEST(ReplyParseTest, TextFromCharacterCountsCharacters) {
  // A malformed byte counts as one character.
  const std::tuple<std::string_view, std::size_t, std::string_view> cases[] = {
      {"500坏了", 0, "500坏了"}, {"500坏了", 4, "坏了"}, {"500坏了", 5, "了"},
      {"500坏了", 6, ""},        {"abc", 4, ""},         {"\xFF\xFEok", 3, "ok"},
      {"\xE5\xA5", 2, "\xA5"}};
  for (const auto& [text, position, rest] : cases) {
    EXPECT_EQ(TextFromCharacter(text, position), rest) << text << " from " << position;
  }
}

TEST(ReplyParseTest, ParseInt16) {
  const std::pair<std::string_view, std::optional<std::int16_t>> cases[] = {
      {"0", 0},         {"+7", 7},          {"-2", -2},    {"007", 7},
      {"32767", 32767}, {"-32768", -32768}, {"32768", {}}, {"-32769", {}},
      {"65537", {}},    {"4294967306", {}}, {"", {}},      {"-", {}},
      {"1.5", {}},      {" 1", {}},         {"1 ", {}},    {"--1", {}}};
  for (const auto& [text, expected] : cases) {
    std::int16_t value = 1234;
    EXPECT_EQ(ParseInt16(text, value), expected.has_value()) << text;
    EXPECT_EQ(value, expected.value_or(1234)) << text;  // untouched on failure
  }
}

}  // namespace
}  // namespace quorvix
