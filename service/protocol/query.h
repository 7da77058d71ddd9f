// The query of a protocol request, read exactly as the client writes it:
// "Command=START&glbMX=False&DomainList=a.com|SIGNATURE," (nothing is percent-encoded).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvix::service {

struct ServiceQuery {
  std::string command;  // START, STOP, GETIP or GETVER
  bool glbMX = false;   // "True" or "False"
  bool hasDomainList = false;
  std::string domainList;  // the text after "DomainList=", as sent
};

// The query, or nothing when it does not parse: a piece without "=", a repeated name, a missing
// or unknown Command, a glbMX other than "True"/"False", or START/STOP without a DomainList.
// Empty pieces (the trailing "&") and unknown names are allowed.
std::optional<ServiceQuery> ParseQuery(std::string_view query);

}  // namespace quorvix::service
