#include "protocol/handler.h"

#include <arpa/inet.h>

#include <string_view>

#include "dns/publisher.h"
#include "protocol/commands.h"
#include "protocol/query.h"
#include "protocol/signature.h"

namespace quorvix::service {
namespace {

struct Item {
  std::string_view domain;
  std::string_view signature;
};

// The "domain|signature," items; nothing when an item has no "|".
std::optional<std::vector<Item>> SplitDomainList(std::string_view list) {
  std::vector<Item> items;
  std::size_t start = 0;
  while (start < list.size()) {
    const std::size_t comma = list.find(',', start);
    const std::size_t end = comma == std::string_view::npos ? list.size() : comma;
    const std::string_view item = list.substr(start, end - start);
    start = end + 1;
    if (item.empty()) continue;
    const std::size_t bar = item.find('|');
    if (bar == std::string_view::npos) return std::nullopt;
    items.push_back({item.substr(0, bar), item.substr(bar + 1)});
  }
  return items;
}

ServiceReply Refuse(const ServiceQuery& query, const char* info, const ServiceRequest& request) {
  ServiceReply reply;
  reply.values = {{"RET-CODE", "500"}, {"RET-INFO", info}};
  reply.logLine = query.command + " caller=" + request.caller + " ret=500";
  return reply;
}

bool Ipv4(const std::string& address) {
  in_addr parsed{};
  return ::inet_pton(AF_INET, address.c_str(), &parsed) == 1;
}

ServiceReply Update(const ServiceQuery& query, const ServiceRequest& request, Database& database,
                    const ServiceOptions& options) {
  const auto items = SplitDomainList(query.domainList);
  if (!items) return Refuse(query, kMalformedListInfo, request);
  if (items->empty()) return Refuse(query, kEmptyListInfo, request);
  const bool start = query.command == kCommandStart;
  Publisher* const publisher = options.publisher;
  // The client shows a START failure from its 4th character and a STOP failure from its 5th:
  // a blank after the STOP code keeps the whole explanation readable.
  const std::string separator = start ? "" : " ";
  std::vector<std::string> results;
  std::vector<Publisher::Queued> queued;
  std::vector<std::size_t> queuedItems;
  try {
    // One transaction for the whole list: one disk write, and no half-applied list.
    database.Transaction([&] {
      results.clear();
      queued.clear();
      queuedItems.clear();
      for (const Item& item : *items) {
        const std::optional<std::string> password = database.PasswordOf(item.domain);
        if (!password) {
          results.push_back(kUnknownDomainCode + separator + kUnknownDomainText);
        } else if (!SignatureMatches(item.signature, ExpectedSignature(item.domain, *password))) {
          results.push_back(kBadSignatureCode + separator + kBadSignatureText);
        } else if (publisher && !ZoneOf(publisher->updater().options().zones, item.domain)) {
          results.push_back(kOutsideZonesCode + separator + kOutsideZonesText);
        } else if (publisher && start && !Ipv4(request.caller)) {
          results.push_back(kNotIpv4Code + separator + kNotIpv4Text);
        } else {
          results.push_back("200");
          if (start) {
            database.SetRecord(
                {std::string(item.domain), request.caller, query.glbMX, request.now});
          } else {
            database.RemoveRecord(item.domain);
          }
          if (publisher) {
            queued.push_back({std::string(item.domain),
                              database.QueueDnsChange(item.domain, start ? request.caller : "",
                                                      start && query.glbMX, request.now)});
            queuedItems.push_back(results.size() - 1);
          }
        }
      }
      return true;
    });
  } catch (const DatabaseError& error) {
    ServiceReply reply = Refuse(query, kDatabaseInfo, request);
    reply.logLine += std::string(" database: ") + error.what();
    return reply;
  }
  if (!queued.empty()) {
    publisher->Wake();
    const auto outcomes = publisher->Await(queued, options.dnsPatience);
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
      if (outcomes[i] == Publisher::Outcome::kPending) {
        results[queuedItems[i]] =
            kPendingCode + separator + (start ? kPendingStartText : kPendingStopText);
      }
    }
  }
  std::string list;
  std::string summary;
  for (std::size_t i = 0; i < items->size(); ++i) {
    list += std::string((*items)[i].domain) + "|" + results[i] + ",";
    summary += " " + std::string((*items)[i].domain) + "=" + results[i].substr(0, 3);
  }
  ServiceReply reply;
  reply.values = {{"RET-CODE", "200"}, {"RET-DMLIST", list}};
  reply.logLine = query.command + " caller=" + request.caller +
                  " mx=" + (query.glbMX ? "True" : "False") + summary + " ret=200";
  return reply;
}

}  // namespace

ServiceReply HandleProtocolRequest(const ServiceRequest& request, Database& database,
                                   const ServiceOptions& options) {
  ServiceReply reply;
  const bool updatePath = request.path == kUpdatePath;
  const bool infoPath = request.path == kInfoPath;
  if (!updatePath && !infoPath) {
    reply.status = 404;
    reply.logLine = "unknown path caller=" + request.caller + " status=404";
    return reply;
  }
  const std::optional<ServiceQuery> query = ParseQuery(request.query);
  if (!query || (updatePath && !IsUpdateCommand(query->command)) ||
      (infoPath && !IsInfoCommand(query->command))) {
    reply.status = 400;
    reply.logLine = "bad request caller=" + request.caller + " status=400";
    return reply;
  }
  if (updatePath) return Update(*query, request, database, options);
  if (query->command == kCommandGetIp) {
    reply.values = {{"RET-CODE", "200"}, {"Y-IP", request.caller}};
  } else {
    reply.values = {{"RET-CODE", "200"},
                    {"Major", std::to_string(options.major)},
                    {"Minor", std::to_string(options.minor)}};
  }
  reply.logLine = query->command + " caller=" + request.caller + " ret=200";
  return reply;
}

}  // namespace quorvix::service
