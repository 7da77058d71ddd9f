// The HTTP/1.1 GET request of a command, byte for byte.
#pragma once

#include <string>
#include <string_view>

#include "protocol/endpoints.h"

namespace quorvix {

// The request text of START, STOP, GETIP or GETVER; empty for any other name. `domainList` is
// the signed list that follows "DomainList=" (START and STOP only).
std::string RequestText(std::string_view command, bool glbMX, std::string_view domainList,
                        const ServiceEndpoints& endpoints);

// The host that serves a command: the information server for GETIP and GETVER, the update
// server for every other name.
const std::string& HostFor(std::string_view command, const ServiceEndpoints& endpoints);

}  // namespace quorvix
