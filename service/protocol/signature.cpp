#include "protocol/signature.h"

#include <stdexcept>

#include "digest/md5.h"
#include "platform/codepage.h"
#include "protocol/commands.h"

namespace quorvix::service {

std::string ExpectedSignature(std::string_view domain, std::string_view password) {
  const std::string text = std::string(domain) + std::string(password) + std::string(kSigningKey);
  const platform::Cp936Text encoded = platform::EncodeCp936(text);
  if (encoded.unmappable > 0 || encoded.doubleByte > 0) return {};
  try {
    return md5().DigestStrToHexStr(text);
  } catch (const std::exception&) {
    return {};
  }
}

bool SignatureMatches(std::string_view sent, std::string_view expected) {
  if (expected.empty() || sent.size() != expected.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    difference |= static_cast<unsigned char>(sent[i] ^ expected[i]);
  }
  return difference == 0;
}

bool UsablePassword(std::string_view password) {
  return !password.empty() && password.find(',') == std::string_view::npos &&
         !ExpectedSignature("x", password).empty();
}

}  // namespace quorvix::service
