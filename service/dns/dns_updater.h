// Dynamic DNS updates (RFC 2136) signed with TSIG, sent over TCP to one primary server: the
// service's records become A and MX records in the zones it was given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dns/tsig_key.h"
#include "store/database.h"

namespace quorvix::service {

struct DnsOptions {
  std::string server;  // IPv4 address of the primary
  std::uint16_t port = 53;
  std::vector<std::string> zones;  // without a trailing "."
  TsigKey key;
  std::uint32_t ttl = 60;
  unsigned timeoutSeconds = 3;  // per update
};

// "ADDRESS" or "ADDRESS:PORT" into the options; false when it is not an IPv4 address and port.
bool ParseDnsServer(std::string_view text, DnsOptions& options);

// The zone a domain belongs to (the longest that matches), if any of them.
std::optional<std::string> ZoneOf(const std::vector<std::string>& zones, std::string_view domain);

class DnsUpdater {
 public:
  explicit DnsUpdater(DnsOptions options) : options_(std::move(options)) {}

  const DnsOptions& options() const { return options_; }

  // Makes the server hold exactly the change's A record (and MX 10 at the domain itself when
  // wanted), or no A and MX records when its address is empty. Nothing when the server
  // confirmed it; otherwise why not.
  std::optional<std::string> Apply(const DnsChange& change) const;

 private:
  DnsOptions options_;
};

}  // namespace quorvix::service
