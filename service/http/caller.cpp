#include "http/caller.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <strings.h>

namespace quorvix::service {
namespace {

std::string PeerAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (info == nullptr || info->client_addr == nullptr) return {};
  char text[INET6_ADDRSTRLEN] = {};
  if (info->client_addr->sa_family == AF_INET) {
    const auto* address = reinterpret_cast<const sockaddr_in*>(info->client_addr);
    ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
  } else if (info->client_addr->sa_family == AF_INET6) {
    const auto* address = reinterpret_cast<const sockaddr_in6*>(info->client_addr);
    ::inet_ntop(AF_INET6, &address->sin6_addr, text, sizeof text);
  }
  return text;
}

// Keeps the last of the X-Forwarded-For lines: a proxy that adds a line of its own instead of
// extending the client's puts it after the ones the client sent.
MHD_Result KeepLast(void* last, MHD_ValueKind, const char* name, const char* value) {
  if (value != nullptr && ::strcasecmp(name, "X-Forwarded-For") == 0) {
    *static_cast<const char**>(last) = value;
  }
  return MHD_YES;
}

}  // namespace

std::optional<std::string> ForwardedAddress(std::string_view headerValue) {
  const std::size_t comma = headerValue.rfind(',');
  std::string_view last =
      comma == std::string_view::npos ? headerValue : headerValue.substr(comma + 1);
  const std::size_t first = last.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  last = last.substr(first, last.find_last_not_of(" \t") - first + 1);
  // inet_pton takes exactly four decimal parts of at most 255, without leading zeros.
  in_addr address{};
  char text[INET_ADDRSTRLEN] = {};
  if (last.size() >= sizeof text) return std::nullopt;
  last.copy(text, last.size());
  if (::inet_pton(AF_INET, text, &address) != 1) return std::nullopt;
  ::inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

std::optional<std::string> CallerOf(MHD_Connection* connection, bool trustForwardedFor) {
  if (trustForwardedFor) {
    const char* forwarded = nullptr;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &KeepLast, &forwarded);
    if (forwarded != nullptr) return ForwardedAddress(forwarded);
  }
  return PeerAddress(connection);
}

}  // namespace quorvix::service
