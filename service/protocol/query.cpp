#include "protocol/query.h"

namespace quorvix::service {

std::optional<ServiceQuery> ParseQuery(std::string_view query) {
  ServiceQuery parsed;
  bool hasCommand = false;
  bool hasMX = false;
  std::size_t start = 0;
  while (start <= query.size()) {
    const std::size_t amp = query.find('&', start);
    const std::string_view piece =
        query.substr(start, amp == std::string_view::npos ? std::string_view::npos : amp - start);
    start = amp == std::string_view::npos ? query.size() + 1 : amp + 1;
    if (piece.empty()) continue;
    const std::size_t eq = piece.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const std::string_view name = piece.substr(0, eq);
    const std::string_view value = piece.substr(eq + 1);
    if (name == "Command") {
      if (hasCommand) return std::nullopt;
      hasCommand = true;
      parsed.command = value;
    } else if (name == "glbMX") {
      if (hasMX || (value != "True" && value != "False")) return std::nullopt;
      hasMX = true;
      parsed.glbMX = value == "True";
    } else if (name == "DomainList") {
      if (parsed.hasDomainList) return std::nullopt;
      parsed.hasDomainList = true;
      parsed.domainList = value;
    }
  }
  const bool update = parsed.command == "START" || parsed.command == "STOP";
  const bool info = parsed.command == "GETIP" || parsed.command == "GETVER";
  if (!hasCommand || !hasMX || (!update && !info) || (update && !parsed.hasDomainList)) {
    return std::nullopt;
  }
  return parsed;
}

}  // namespace quorvix::service
