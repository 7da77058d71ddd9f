#include "dns/dns_updater.h"

#include <arpa/inet.h>
#include <ldns/ldns.h>

#include <charconv>
#include <memory>

namespace quorvix::service {
namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using Resolver = std::unique_ptr<ldns_resolver, Deleter<ldns_resolver, ldns_resolver_deep_free>>;
using Packet = std::unique_ptr<ldns_pkt, Deleter<ldns_pkt, ldns_pkt_free>>;
using RrList = std::unique_ptr<ldns_rr_list, Deleter<ldns_rr_list, ldns_rr_list_deep_free>>;
using Rdf = std::unique_ptr<ldns_rdf, Deleter<ldns_rdf, ldns_rdf_deep_free>>;

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string LdnsAlgorithm(const std::string& algorithm) {
  return algorithm == "hmac-md5" ? "hmac-md5.sig-alg.reg.int." : algorithm + ".";
}

// One resource record; takes ownership of the owner and the data fields.
ldns_rr* Rr(const ldns_rdf* owner, ldns_rr_type type, ldns_rr_class rrClass, std::uint32_t ttl,
            std::initializer_list<ldns_rdf*> fields) {
  ldns_rr* rr = ldns_rr_new();
  ldns_rr_set_owner(rr, ldns_rdf_clone(owner));
  ldns_rr_set_type(rr, type);
  ldns_rr_set_class(rr, rrClass);
  ldns_rr_set_ttl(rr, ttl);
  for (ldns_rdf* field : fields) ldns_rr_push_rdf(rr, field);
  return rr;
}

}  // namespace

bool ParseDnsServer(std::string_view text, DnsOptions& options) {
  const std::size_t colon = text.find(':');
  std::string address(text.substr(0, colon));
  std::uint16_t port = 53;
  if (colon != std::string_view::npos) {
    const std::string_view digits = text.substr(colon + 1);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (error != std::errc() || end != digits.data() + digits.size() || port == 0) return false;
  }
  in_addr parsed{};
  if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
  options.server = address;
  options.port = port;
  return true;
}

std::optional<std::string> ZoneOf(const std::vector<std::string>& zones, std::string_view domain) {
  std::optional<std::string> best;
  for (const std::string& zone : zones) {
    const bool inside =
        SameText(domain, zone) ||
        (domain.size() > zone.size() + 1 && domain[domain.size() - zone.size() - 1] == '.' &&
         SameText(domain.substr(domain.size() - zone.size()), zone));
    if (inside && (!best || zone.size() > best->size())) best = zone;
  }
  return best;
}

std::optional<std::string> DnsUpdater::Apply(const DnsChange& change) const {
  const std::optional<std::string> zone = ZoneOf(options_.zones, change.domain);
  if (!zone) return "outside every zone";
  Rdf owner(ldns_dname_new_frm_str(change.domain.c_str()));
  ldns_rdf* zoneName = ldns_dname_new_frm_str(zone->c_str());
  Rdf serverAddress(ldns_rdf_new_frm_str(LDNS_RDF_TYPE_A, options_.server.c_str()));
  if (!owner || !zoneName || !serverAddress) {
    ldns_rdf_deep_free(zoneName);
    return "not a usable name or server address";
  }

  // Delete the A and MX sets, then add what is wanted: one message, applied whole or not at all.
  RrList updates(ldns_rr_list_new());
  ldns_rr_list_push_rr(updates.get(), Rr(owner.get(), LDNS_RR_TYPE_A, LDNS_RR_CLASS_ANY, 0, {}));
  ldns_rr_list_push_rr(updates.get(), Rr(owner.get(), LDNS_RR_TYPE_MX, LDNS_RR_CLASS_ANY, 0, {}));
  if (!change.address.empty()) {
    ldns_rdf* address = ldns_rdf_new_frm_str(LDNS_RDF_TYPE_A, change.address.c_str());
    if (address == nullptr) {
      ldns_rdf_deep_free(zoneName);
      return "not an IPv4 address: " + change.address;
    }
    ldns_rr_list_push_rr(
        updates.get(), Rr(owner.get(), LDNS_RR_TYPE_A, LDNS_RR_CLASS_IN, options_.ttl, {address}));
    if (change.mx) {
      ldns_rr_list_push_rr(
          updates.get(),
          Rr(owner.get(), LDNS_RR_TYPE_MX, LDNS_RR_CLASS_IN, options_.ttl,
             {ldns_native2rdf_int16(LDNS_RDF_TYPE_INT16, 10), ldns_rdf_clone(owner.get())}));
    }
  }
  Packet update(ldns_update_pkt_new(zoneName, LDNS_RR_CLASS_IN, nullptr, updates.get(), nullptr));
  if (!update) return "cannot build the update";
  ldns_pkt_set_random_id(update.get());

  Resolver resolver(ldns_resolver_new());
  ldns_resolver_push_nameserver(resolver.get(), serverAddress.get());
  ldns_resolver_set_port(resolver.get(), options_.port);
  ldns_resolver_set_usevc(resolver.get(), true);  // a refused connection fails at once
  ldns_resolver_set_retry(resolver.get(), 1);
  ldns_resolver_set_timeout(resolver.get(),
                            timeval{static_cast<time_t>(options_.timeoutSeconds), 0});
  ldns_resolver_set_tsig_keyname(resolver.get(), (options_.key.name + ".").c_str());
  ldns_resolver_set_tsig_algorithm(resolver.get(), LdnsAlgorithm(options_.key.algorithm).c_str());
  ldns_resolver_set_tsig_keydata(resolver.get(), options_.key.secret.c_str());
  if (ldns_update_pkt_tsig_add(update.get(), resolver.get()) != LDNS_STATUS_OK) {
    return "cannot sign the update with the key";
  }
  ldns_pkt* raw = nullptr;
  // Also checks the signature of the answer: an unsigned "yes" is not a confirmation.
  const ldns_status status = ldns_send(&raw, resolver.get(), update.get());
  Packet answer(raw);
  if (status != LDNS_STATUS_OK)
    return std::string("no confirmation: ") + ldns_get_errorstr_by_id(status);
  if (!answer) return "no answer";
  const ldns_pkt_rcode rcode = ldns_pkt_get_rcode(answer.get());
  if (rcode != LDNS_RCODE_NOERROR) {
    const char* name =
        ldns_lookup_by_id(ldns_rcodes, rcode) ? ldns_lookup_by_id(ldns_rcodes, rcode)->name : "?";
    return std::string("refused by the DNS server: ") + name;
  }
  return std::nullopt;
}

}  // namespace quorvix::service
