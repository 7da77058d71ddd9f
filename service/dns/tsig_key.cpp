#include "dns/tsig_key.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <regex>

namespace quorvix::service {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool Base64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return false;
  const std::size_t data = text.find_last_not_of('=');
  if (data == std::string_view::npos || text.size() - data - 1 > 2) return false;
  return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(data) + 1,
                     [](unsigned char c) { return std::isalnum(c) || c == '+' || c == '/'; });
}

bool KeyName(std::string_view name) {
  return !name.empty() && name.size() <= 253 &&
         std::all_of(name.begin(), name.end(), [](unsigned char c) {
           return std::isalnum(c) || c == '-' || c == '_' || c == '.';
         });
}

// One value of the YAML-like block: "  - id: NAME", "    secret: X" (quotes allowed).
std::optional<std::string> BlockValue(const std::string& text, const char* name) {
  const std::regex line(std::string(R"x((?:^|\n)[ \t]*(?:-[ \t]+)?)x") + name +
                        R"x([ \t]*:[ \t]*"?([^"\s#]+)"?[ \t]*(?:#[^\n]*)?(?=\n|$))x");
  std::smatch match;
  if (!std::regex_search(text, match, line)) return std::nullopt;
  return match[1].str();
}

}  // namespace

std::optional<TsigKey> ParseTsigKey(std::string_view input, std::string& error) {
  const std::string text(input);
  TsigKey key;
  std::smatch match;
  const std::regex statement(R"x(key[ \t\r\n]+"?([^"\s{]+)"?[ \t\r\n]*\{([^}]*)\})x");
  if (std::regex_search(text, match, statement)) {
    key.name = match[1].str();
    const std::string body = match[2].str();
    std::smatch part;
    if (std::regex_search(body, part,
                          std::regex(R"x(algorithm[ \t\r\n]+"?([^";\s]+)"?[ \t\r\n]*;)x"))) {
      key.algorithm = part[1].str();
    }
    if (std::regex_search(body, part, std::regex(R"x(secret[ \t\r\n]+"([^"]*)"[ \t\r\n]*;)x"))) {
      key.secret = part[1].str();
    }
  } else if (std::regex_search(text, std::regex(R"x((?:^|\n)key[ \t]*:)x"))) {
    key.name = BlockValue(text, "id").value_or("");
    key.algorithm = BlockValue(text, "algorithm").value_or("");
    key.secret = BlockValue(text, "secret").value_or("");
  } else {
    error = "no TSIG key in the file (a key: block or a key \"name\" { ... }; statement)";
    return std::nullopt;
  }
  if (!key.name.empty() && key.name.back() == '.') key.name.pop_back();
  key.algorithm = Lower(key.algorithm);
  constexpr std::array<std::string_view, 6> kAlgorithms = {
      "hmac-md5", "hmac-sha1", "hmac-sha224", "hmac-sha256", "hmac-sha384", "hmac-sha512"};
  if (!KeyName(key.name)) {
    error = "the key has no usable name";
  } else if (std::find(kAlgorithms.begin(), kAlgorithms.end(), key.algorithm) ==
             kAlgorithms.end()) {
    error = "the key's algorithm is missing or unknown: " + key.algorithm;
  } else if (!Base64(key.secret)) {
    error = "the key's secret is missing or not base64";
  } else {
    return key;
  }
  return std::nullopt;
}

}  // namespace quorvix::service
