#include "protocol/handler.h"

#include <string_view>

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

ServiceReply Update(const ServiceQuery& query, const ServiceRequest& request, Database& database) {
  const auto items = SplitDomainList(query.domainList);
  if (!items) return Refuse(query, kMalformedListInfo, request);
  if (items->empty()) return Refuse(query, kEmptyListInfo, request);
  const bool start = query.command == kCommandStart;
  // The client shows a START failure from its 4th character and a STOP failure from its 5th:
  // a blank after the STOP code keeps the whole explanation readable.
  const std::string separator = start ? "" : " ";
  std::string results;
  std::string summary;
  for (const Item& item : *items) {
    const std::optional<std::string> password = database.PasswordOf(item.domain);
    std::string result;
    if (!password) {
      result = kUnknownDomainCode + separator + kUnknownDomainText;
    } else if (!SignatureMatches(item.signature, ExpectedSignature(item.domain, *password))) {
      result = kBadSignatureCode + separator + kBadSignatureText;
    } else {
      result = "200";
      if (start) {
        database.SetRecord({std::string(item.domain), request.caller, query.glbMX, request.now});
      } else {
        database.RemoveRecord(item.domain);
      }
    }
    results += std::string(item.domain) + "|" + result + ",";
    summary += " " + std::string(item.domain) + "=" + result.substr(0, 3);
  }
  ServiceReply reply;
  reply.values = {{"RET-CODE", "200"}, {"RET-DMLIST", results}};
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
  if (updatePath) return Update(*query, request, database);
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
