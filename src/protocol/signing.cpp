#include "protocol/signing.h"

#include <stdexcept>

#include "digest/md5.h"
#include "platform/codepage.h"
#include "protocol/commands.h"
#include "settings/domain_list.h"

namespace quorvix {

std::string UnsignableEntryLine(std::string_view domain) {
  return "域名" + std::string(domain) +
         "签名失败,域名和密码只能包含英文字母、数字和英文符号,本次未发送该域名";
}

namespace {

// The signature of one entry; empty when it cannot be signed.
std::string Signature(md5& digest, std::string_view domain, std::string_view password) {
  const std::string text = std::string(domain) + std::string(password) + std::string(kSigningKey);
  // The digest would take a character without any code as "?", signing a password the
  // service does not have; leave such an entry out instead of sending a wrong signature.
  const platform::Cp936Text encoded = platform::EncodeCp936(text);
  if (encoded.unmappable != 0 || encoded.doubleByte != 0) return {};
  try {
    return digest.DigestStrToHexStr(text);
  } catch (const std::exception&) {
    return {};  // too long to digest
  }
}

}  // namespace

bool CanSign(std::string_view domain, std::string_view password) {
  md5 digest;
  return !Signature(digest, domain, password).empty();
}

std::string SignedDomainList(SettingsStore& store, EventLog& log) {
  md5 digest;
  const std::string list = store.ReadSetting(kSettingDomains);
  std::string signedList;
  for (const DomainEntry& entry : ReadDomainList(list)) {
    const std::string signature = Signature(digest, entry.domain, entry.password);
    if (signature.empty()) {
      log.WriteLog(UnsignableEntryLine(entry.domain), false);
      continue;
    }
    signedList += entry.domain + "|" + signature + ",";
  }
  return signedList;
}

}  // namespace quorvix
