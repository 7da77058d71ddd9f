// The "DomainList=" value of START and STOP: each stored domain with an MD5 signature over the
// domain, its password and the signing key, so that passwords never travel.
#pragma once

#include <string>

#include "settings/event_log.h"
#include "settings/store.h"

namespace quorvix {

// Reads the stored list afresh and returns "domain|SIGNATURE," for each entry in order; empty
// when the list is empty or holds no entry. An entry that cannot be signed (a character outside
// single-byte code page 936, or a text too long for the digest) is left out, with a line naming
// its domain; the other domains are still sent.
std::string SignedDomainList(SettingsStore& store, EventLog& log);

// True when the entry can be signed: every character of the domain and the password is
// single-byte in code page 936, and the text is short enough for the digest.
bool CanSign(std::string_view domain, std::string_view password);

// The line written for an entry left out.
std::string UnsignableEntryLine(std::string_view domain);

}  // namespace quorvix
