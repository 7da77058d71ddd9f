// The key that signs the service's DNS updates, read from the file a key generator wrote: the
// "key:" block of a server configuration (id, algorithm, secret) or a
// key "name" { algorithm ...; secret "..."; }; statement.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvix::service {

struct TsigKey {
  std::string name;       // a domain name, as the DNS server knows the key
  std::string algorithm;  // hmac-md5, hmac-sha1, hmac-sha224, hmac-sha256, hmac-sha384, hmac-sha512
  std::string secret;     // base64
};

// The key, or an error message in `error` when the text holds no complete, usable key.
std::optional<TsigKey> ParseTsigKey(std::string_view text, std::string& error);

}  // namespace quorvix::service
