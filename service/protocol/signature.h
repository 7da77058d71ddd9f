// The signature each domain travels with: the upper-case hexadecimal MD5 of the domain, its
// domain-management password and the signing key.
#pragma once

#include <string>
#include <string_view>

namespace quorvix::service {

// The expected signature, or empty when the text cannot be signed (a character outside
// single-byte code page 936: the client cannot sign such a password either).
std::string ExpectedSignature(std::string_view domain, std::string_view password);

// Compares a sent signature with the expected one in time that does not depend on where they
// differ. An empty expected signature never matches.
bool SignatureMatches(std::string_view sent, std::string_view expected);

// Whether a password can be used at all: signable, no "," (the client's list separator),
// not empty.
bool UsablePassword(std::string_view password);

}  // namespace quorvix::service
