// Where the two servers are. The program always uses the built-in hosts and port; only tests
// construct other endpoints, to reach a server on loopback.
#pragma once

#include <cstdint>
#include <string>

#include "build_config.h"

namespace quorvix {

struct ServiceEndpoints {
  std::string updateHost = build::kUpdateHost;  // START, STOP
  std::string infoHost = build::kInfoHost;      // GETIP, GETVER
  std::uint16_t port = build::kServicePort;
};

}  // namespace quorvix
