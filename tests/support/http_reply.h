#pragma once

#include <string>
#include <vector>

namespace quorvix::testing {

// A reply as the service sends it.
inline std::string HttpReply(const std::vector<std::string>& valueLines,
                             std::string_view statusLine = "HTTP/1.1 200 OK") {
  std::string reply = std::string(statusLine) + "\r\n";
  for (const std::string& line : valueLines) reply += line + "\r\n";
  return reply + "Connection: close\r\n\r\n";
}

}  // namespace quorvix::testing
