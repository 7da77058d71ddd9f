// Who sent a request: the connection's peer, or behind one trusted reverse proxy the address the
// proxy appended to X-Forwarded-For.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct MHD_Connection;

namespace quorvix::service {

// The last entry of an X-Forwarded-For value (the one the proxy appended; earlier ones are the
// client's own claims) in its canonical dotted form, when it is a well-formed IPv4 address.
std::optional<std::string> ForwardedAddress(std::string_view headerValue);

// The caller of a request on `connection`; nothing when the proxy is trusted and its last
// X-Forwarded-For header is there but names no IPv4 address (records must never point at a
// made-up or the proxy's own address). Without the header the peer's address counts.
std::optional<std::string> CallerOf(MHD_Connection* connection, bool trustForwardedFor);

}  // namespace quorvix::service
