#include "support/http_reply.h"

namespace quorvix::testing {

std::string HttpReply(const std::vector<std::string>& valueLines, std::string_view statusLine) {
  std::string reply = std::string(statusLine) + "\r\n";
  for (const std::string& line : valueLines) reply += line + "\r\n";
  return reply + "Connection: close\r\n\r\n";
}

}  // namespace quorvix::testing
