// The domain list string: the one representation of the configured domains with their
// domain-management passwords, as stored, edited by the settings dialog and signed for every
// update. Entries are "domain|password," one after another; the empty string means no domain.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvix {

struct DomainEntry {
  std::string domain;    // the text before the piece's first "|", exactly as typed
  std::string password;  // everything after that "|", further "|" included
};

// The reading rule every reader follows: cut at every ",", keep each piece that holds a "|"
// as an entry, skip the others (the empty last piece, damaged pieces), in order.
std::vector<DomainEntry> ReadDomainList(std::string_view list);

// The verdict of a named pattern on a text: for "domain", true when the text is not empty and
// holds only ASCII letters of either case, digits, "-" and "."; for "other", false; for any
// other pattern name, no verdict. The structure of the name is not looked at.
std::optional<bool> checkReg(std::string_view xPattern, std::string_view xValue);

// True when two domain names are the same name: ASCII letters compared without regard to case,
// as DNS compares them.
bool SameDomainName(std::string_view a, std::string_view b);

// Appends the entry xDomain "|" strPass "," with no checks.
void str_addDomain(std::string& domainString, std::string_view xDomain, std::string_view strPass);

// Rebuilds the list without the entries whose domain part equals xDomain exactly (letter case
// included); pieces without "|" go too, the rest keeps its order and its trailing ",".
void str_delDomain(std::string& domainString, std::string_view xDomain);

}  // namespace quorvix
