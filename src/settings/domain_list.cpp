#include "settings/domain_list.h"

#include <algorithm>

namespace quorvix {
namespace {

// Calls visit(piece) for each piece of the list cut at every ",", the empty last one included.
template <typename Visit>
void ForEachPiece(std::string_view list, Visit visit) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    if (comma == std::string_view::npos) {
      visit(list.substr(start));
      return;
    }
    visit(list.substr(start, comma - start));
    start = comma + 1;
  }
}

}  // namespace

std::vector<DomainEntry> ReadDomainList(std::string_view list) {
  std::vector<DomainEntry> entries;
  ForEachPiece(list, [&](std::string_view piece) {
    const std::size_t bar = piece.find('|');
    if (bar == std::string_view::npos) return;
    entries.push_back({std::string(piece.substr(0, bar)), std::string(piece.substr(bar + 1))});
  });
  return entries;
}

std::optional<bool> checkReg(std::string_view xPattern, std::string_view xValue) {
  if (xPattern == "domain") {
    if (xValue.empty()) return false;
    constexpr std::string_view kAllowed = "0123456789abcdefghijklmnopqrstuvwxyz-.";
    for (char c : xValue) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (kAllowed.find(c) == std::string_view::npos) return false;
    }
    return true;
  }
  if (xPattern == "other") return false;
  return std::nullopt;
}

bool SameDomainName(std::string_view a, std::string_view b) {
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}

void str_addDomain(std::string& domainString, std::string_view xDomain, std::string_view strPass) {
  domainString.append(xDomain).append("|").append(strPass).append(",");
}

void str_delDomain(std::string& domainString, std::string_view xDomain) {
  std::string result;
  result.reserve(domainString.size());
  ForEachPiece(domainString, [&](std::string_view piece) {
    const std::size_t bar = piece.find('|');
    if (bar == std::string_view::npos || piece.substr(0, bar) == xDomain) return;
    result.append(piece).append(",");
  });
  domainString = std::move(result);
}

}  // namespace quorvix
