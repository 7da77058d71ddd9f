#include "protocol/request.h"

#include "base/program_identity.h"
#include "build_config.h"
#include "protocol/commands.h"

namespace quorvix {

const std::string& HostFor(std::string_view command, const ServiceEndpoints& endpoints) {
  return IsInfoCommand(command) ? endpoints.infoHost : endpoints.updateHost;
}

std::string RequestText(std::string_view command, bool glbMX, std::string_view domainList,
                        const ServiceEndpoints& endpoints) {
  std::string path;
  std::string last;
  if (IsUpdateCommand(command)) {
    path = kUpdatePath;
    last = "DomainList=" + std::string(domainList);
  } else if (IsInfoCommand(command)) {
    path = kInfoPath;
  } else {
    return {};
  }
  const std::string& host = HostFor(command, endpoints);
  // The "&" before the last parameter is written even when that parameter is empty. Nothing is
  // percent-encoded: every part is ASCII without spaces.
  const std::string query =
      "?Command=" + std::string(command) + "&glbMX=" + (glbMX ? "True" : "False") + "&" + last;
  return "GET " + path + query + " HTTP/1.1\r\n" + "Host: " + host + "\r\n" +
         "Accept: */*\r\n"
         "Pragma: no-cache\r\n"
         "Connection: close\r\n" +
         "Referer: " + host + "\r\n" + "User-Agent: quorvixDDNS/" + VersionText() +
         "\r\n"
         "\r\n";
}

}  // namespace quorvix
