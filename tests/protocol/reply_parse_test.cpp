#include "protocol/reply_parse.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quorvix {
namespace {

TEST(ReplyParseTest, StatusCode) {
  const struct {
    std::string_view reply;
    std::int16_t code;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\n", 200},
      {"HTTP/1.0 200 OK\r\nRET-CODE: 500\r\n\r\n", 200},
      {"HTTP/1.1 -5 OK\r\n", -5},
      {"HTTP/1.1 32767 OK\r\n", 32767},
      {"HTTP/1.1 -32768 OK\r\n", -32768},
      {"HTTP/1.1 404 Not Found\r\n", kNoStatus},  // four fields
      {"HTTP/1.1 200\r\n", kNoStatus},            // two fields
      {"HTTP/1.1  200 OK\r\n", kNoStatus},        // an empty field
      {"HTTP/1.1 200 OK \r\n", kNoStatus},
      {"HTTP/1.1 200 OK", kNoStatus},
      {"HTTP/1.1 200 OK\n", kNoStatus},
      {"", kNoStatus},
      {"HTTP/1.1 abc OK\r\n", kNoStatus},
      {"HTTP/1.1 99999 OK\r\n", kNoStatus},
      {"HTTP/1.1 32768 OK\r\n", kNoStatus},
      {"HTTP/1.1 65736 OK\r\n", kNoStatus},  // 200 after a 16-bit wrap
      {"HTTP/1.1 2x0 OK\r\n", kNoStatus},
      {"HTTP/1.1  OK\r\n", kNoStatus},
      // Only the first line counts, even when a later one looks right.
      {"garbage\r\nHTTP/1.1 200 OK\r\n", kNoStatus},
  };
  for (const auto& c : cases) EXPECT_EQ(ReplyStatusCode(c.reply), c.code) << c.reply;
}

TEST(ReplyParseTest, Header) {
  const struct {
    std::string_view reply;
    std::string_view name;
    std::string_view value;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nRET-CODE: 200\r\n\r\n", "RET-CODE", "200"},
      {"HTTP/1.1 200 OK\r\nret-code: 200\r\n", "RET-CODE", "200"},
      {"HTTP/1.1 200 OK\r\nRET-CODE: 200\r\n", "ret-Code", "200"},
      {"RET-CODE:200\r\n", "RET-CODE", "200"},
      {"RET-CODE:   200  \r\n", "RET-CODE", "200"},
      {"RET-CODE:\t200\r\n", "RET-CODE", "\t200"},
      {"RET-CODE: 2 0 0\r\n", "RET-CODE", "2 0 0"},
      {"RET-CODE:    \r\n", "RET-CODE", ""},
      {"RET-CODE: 200", "RET-CODE", ""},  // no CR LF after the value
      {"RET-CODE: 200\n", "RET-CODE", ""},
      {"RET-CODE: 200\nY-IP: 1.1.1.1\r\n", "RET-CODE", "200\nY-IP: 1.1.1.1"},
      {"RET-CODE: 300\r\nRET-CODE: 200\r\n", "RET-CODE", "300"},
      {"XY-IP: 1.1.1.1\r\nY-IP: 2.2.2.2\r\n", "Y-IP", "1.1.1.1"},
      {"HTTP/1.1 200 OK\r\n\r\nY-IP: 3.3.3.3\r\n", "Y-IP", "3.3.3.3"},  // in the body
      {"HTTP/1.1 200 OK\r\nRET-CODE 200\r\n", "RET-CODE", ""},
      {"HTTP/1.1 200 OK\r\n", "RET-CODE", ""},
      {"", "RET-CODE", ""},
      {"RET-INFO: 域名已锁定 \r\n", "RET-INFO", "域名已锁定"},
      {"Y-IP:", "Y-IP", ""},
      {"Y-IP:\r\n", "Y-IP", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplyHeader(c.reply, c.name), c.value) << c.name << " in " << c.reply;
  }
}

TEST(ReplyParseTest, HeaderInALongReplyIsFound) {
  const std::string reply = std::string(200'000, 'R') + "RET-CODE: 200\r\n";
  EXPECT_EQ(ReplyHeader(reply, "RET-CODE"), "200");
  EXPECT_EQ(ReplyHeader(reply, "RET-INFO"), "");
}

TEST(ReplyParseTest, TextFromCharacterCountsCharacters) {
  const struct {
    std::string_view text;
    std::size_t position;
    std::string_view rest;
  } cases[] = {
      {"500坏了", 4, "坏了"},
      {"500坏了", 5, "了"},
      {"500坏了", 6, ""},
      {"500坏了", 1, "500坏了"},
      {"500坏了", 0, "500坏了"},
      {"abc", 5, ""},
      {"abc", 4, ""},
      {"abc", 3, "c"},
      {"", 1, ""},
      {"坏坏x", 3, "x"},
      // A malformed byte counts as one character.
      {"\xFF\xFEok", 3, "ok"},
      {"\xE5\xA5", 2, "\xA5"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextFromCharacter(c.text, c.position), c.rest) << c.text << " from " << c.position;
  }
}

TEST(ReplyParseTest, ParseInt16) {
  const struct {
    std::string_view text;
    std::optional<std::int16_t> value;
  } cases[] = {
      {"0", 0},       {"10", 10},       {"+7", 7},          {"-2", -2},
      {"007", 7},     {"32767", 32767}, {"-32768", -32768}, {"32768", {}},
      {"-32769", {}}, {"99999", {}},    {"65537", {}},      {"99999999999999999999", {}},
      {"", {}},       {"-", {}},        {"+", {}},          {"1.5", {}},
      {" 1", {}},     {"1 ", {}},       {"abc", {}},        {"--1", {}},
      {"1e3", {}},    {"0x10", {}},
  };
  for (const auto& c : cases) {
    std::int16_t value = 1234;
    EXPECT_EQ(ParseInt16(c.text, value), c.value.has_value()) << c.text;
    EXPECT_EQ(value, c.value.value_or(1234)) << c.text;  // untouched on failure
  }
}

}  // namespace
}  // namespace quorvix
