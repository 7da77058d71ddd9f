#include "protocol/reply_parse.h"

#include <algorithm>
#include <limits>

#include "platform/utf8.h"

namespace quorvix {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool ParseInt16(std::string_view text, std::int16_t& value) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  long parsed = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    parsed = parsed * 10 + (c - '0');
    if (parsed > 32768) return false;  // stop before any overflow
  }
  if (negative) parsed = -parsed;
  if (parsed < std::numeric_limits<std::int16_t>::min() ||
      parsed > std::numeric_limits<std::int16_t>::max()) {
    return false;
  }
  value = static_cast<std::int16_t>(parsed);
  return true;
}

std::int16_t ReplyStatusCode(std::string_view reply) {
  const std::size_t end = reply.find("\r\n");
  if (end == std::string_view::npos) return kNoStatus;
  const std::string_view line = reply.substr(0, end);
  // Split at every single blank: two blanks in a row give an empty field.
  const std::size_t first = line.find(' ');
  if (first == std::string_view::npos) return kNoStatus;
  const std::size_t second = line.find(' ', first + 1);
  if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) {
    return kNoStatus;
  }
  std::int16_t code = 0;
  return ParseInt16(line.substr(first + 1, second - first - 1), code) ? code : kNoStatus;
}

std::string ReplyHeader(std::string_view reply, std::string_view name) {
  const std::string key = std::string(name) + ":";
  const auto found = std::search(reply.begin(), reply.end(), key.begin(), key.end(),
                                 [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
  if (found == reply.end()) return {};
  const std::size_t valueStart = static_cast<std::size_t>(found - reply.begin()) + key.size();
  const std::size_t end = reply.find("\r\n", valueStart);
  if (end == std::string_view::npos) return {};
  std::string_view value = reply.substr(valueStart, end - valueStart);
  const std::size_t first = value.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(value.substr(first, value.find_last_not_of(' ') - first + 1));
}

std::string TextFromCharacter(std::string_view text, std::size_t position) {
  std::size_t pos = 0;
  for (std::size_t skipped = 1; skipped < position && pos < text.size(); ++skipped) {
    const std::size_t length = platform::Utf8SequenceLength(text, pos);
    pos += length == 0 ? 1 : length;
  }
  return std::string(text.substr(std::min(pos, text.size())));
}

}  // namespace quorvix
