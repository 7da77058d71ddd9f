// The protocol's answers: what the update server says to START and STOP and what the
// information server says to GETIP and GETVER, as value lines.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "store/database.h"

namespace quorvix::service {

struct ServiceOptions {
  std::int16_t major = 1;  // the newest client version that GETVER reports
  std::int16_t minor = 1;
};

struct ServiceRequest {
  std::string path;    // the request target before "?"
  std::string query;   // after "?", as sent
  std::string caller;  // the address the request came from
  std::int64_t now = 0;
};

struct ServiceReply {
  int status = 200;  // the HTTP status
  // Value lines in order, UTF-8; the HTTP layer sends them as header lines in code page 936.
  std::vector<std::pair<std::string, std::string>> values;
  std::string logLine;  // a summary for the service's log: never a password or a signature
};

// The per-domain failures: a code other than "200", then a short explanation. The results travel
// in a ","-separated list that the client cuts at every ",": an explanation holds none (a
// full-width "，" instead).
inline constexpr const char* kUnknownDomainCode = "404";
inline constexpr const char* kUnknownDomainText = "域名不存在";
inline constexpr const char* kBadSignatureCode = "403";
inline constexpr const char* kBadSignatureText = "签名错误，请检查域名管理密码";
inline constexpr const char* kEmptyListInfo = "域名列表为空";
inline constexpr const char* kMalformedListInfo = "域名列表格式错误";

// Answers a request on the update or the information path. Status 400 for a query that does
// not parse or a command on the other server's path; 404 for any other path.
ServiceReply HandleProtocolRequest(const ServiceRequest& request, Database& database,
                                   const ServiceOptions& options);

}  // namespace quorvix::service
