// The protocol's answers: what the update server says to START and STOP and what the
// information server says to GETIP and GETVER, as value lines.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "store/database.h"

namespace quorvix::service {

class Publisher;

struct ServiceOptions {
  std::int16_t major = 1;  // the newest client version that GETVER reports
  std::int16_t minor = 1;
  // With a publisher, START and STOP also change the DNS server's records and wait this long
  // for its confirmation before answering.
  Publisher* publisher = nullptr;
  std::chrono::milliseconds dnsPatience{3000};
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
// With DNS publication: a domain in none of the service's zones is refused; a change the DNS
// server has not confirmed yet is kept and retried, and the result says so (not "200": the name
// does not resolve to the new address yet).
inline constexpr const char* kOutsideZonesCode = "406";
inline constexpr const char* kOutsideZonesText = "域名不在本服务管理的DNS区域内";
inline constexpr const char* kNotIpv4Code = "406";
inline constexpr const char* kNotIpv4Text = "来访地址不是IPv4地址，无法发布A记录";
inline constexpr const char* kPendingCode = "202";
inline constexpr const char* kPendingStartText = "新地址已记录，DNS服务器尚未确认，服务将自动重试";
inline constexpr const char* kPendingStopText = "已停止记录，DNS服务器尚未确认删除，服务将自动重试";
inline constexpr const char* kDatabaseInfo = "服务器数据库暂时不可用，请稍后重试";
inline constexpr const char* kEmptyListInfo = "域名列表为空";
inline constexpr const char* kMalformedListInfo = "域名列表格式错误";

// Answers a request on the update or the information path. Status 400 for a query that does
// not parse or a command on the other server's path; 404 for any other path.
ServiceReply HandleProtocolRequest(const ServiceRequest& request, Database& database,
                                   const ServiceOptions& options);

}  // namespace quorvix::service
