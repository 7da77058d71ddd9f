// Replies as the service sends them, for tests of the client.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvix::testing {

// A status line and value lines, then "Connection: close" and the empty line.
std::string HttpReply(const std::vector<std::string>& valueLines,
                      std::string_view statusLine = "HTTP/1.1 200 OK");

}  // namespace quorvix::testing
