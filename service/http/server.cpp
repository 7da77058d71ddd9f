#include "http/server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "platform/codepage.h"

namespace quorvix::service {

struct Server::Context {
  Database& database;
  ServerOptions options;
  std::function<void(const std::string&)> log;
};

namespace {

// Bounds of one request: the request line and all headers share this memory, so a longer URI
// gets 414 and more header bytes 431 from the library itself.
constexpr std::size_t kConnectionMemory = 16 * 1024;
constexpr unsigned kMaxConnections = 256;
constexpr int kMaxHeaders = 48;

// The raw request target, query included, kept per connection before the library splits it.
void* KeepTarget(void*, const char* uri, MHD_Connection*) { return new std::string(uri); }

void ForgetTarget(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
  delete static_cast<std::string*>(*state);
  *state = nullptr;
}

MHD_Result CountHeader(void* count, MHD_ValueKind, const char*, const char*) {
  ++*static_cast<int*>(count);
  return MHD_YES;
}

std::string PeerAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (info == nullptr || info->client_addr == nullptr) return {};
  char text[INET6_ADDRSTRLEN] = {};
  if (info->client_addr->sa_family == AF_INET) {
    const auto* address = reinterpret_cast<const sockaddr_in*>(info->client_addr);
    ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
  } else if (info->client_addr->sa_family == AF_INET6) {
    const auto* address = reinterpret_cast<const sockaddr_in6*>(info->client_addr);
    ::inet_ntop(AF_INET6, &address->sin6_addr, text, sizeof text);
  }
  return text;
}

// The proxy appends the address it saw last; earlier entries are the client's own claims.
std::string Caller(MHD_Connection* connection, bool trustForwardedFor) {
  if (trustForwardedFor) {
    if (const char* forwarded =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "X-Forwarded-For")) {
      std::string_view list = forwarded;
      const std::size_t comma = list.rfind(',');
      std::string_view last = comma == std::string_view::npos ? list : list.substr(comma + 1);
      const std::size_t first = last.find_first_not_of(" \t");
      if (first != std::string_view::npos) {
        last = last.substr(first, last.find_last_not_of(" \t") - first + 1);
        return std::string(last);
      }
    }
  }
  return PeerAddress(connection);
}

MHD_Result Send(MHD_Connection* connection, int status, const std::string& body,
                const std::vector<std::pair<std::string, std::string>>& values,
                const char* contentType) {
  MHD_Response* response = MHD_create_response_from_buffer(
      body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  if (response == nullptr) return MHD_NO;
  for (const auto& [name, value] : values) {
    // The client reads the values in code page 936.
    MHD_add_response_header(response, name.c_str(), platform::EncodeCp936(value).bytes.c_str());
  }
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType);
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
  const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(status), response);
  MHD_destroy_response(response);
  return queued;
}

MHD_Result Answer(void* raw, MHD_Connection* connection, const char*, const char* method,
                  const char*, const char*, size_t* uploadSize, void** state) {
  auto& context = *static_cast<Server::Context*>(raw);
  const std::string target = *state ? *static_cast<std::string*>(*state) : std::string();
  const std::string caller = Caller(connection, context.options.trustForwardedFor);
  constexpr const char* kText = "text/plain; charset=GBK";
  if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 || *uploadSize != 0) {
    context.log("method " + std::string(method) + " caller=" + caller + " status=405");
    return Send(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "", {}, kText);
  }
  int headers = 0;
  MHD_get_connection_values(connection, MHD_HEADER_KIND, CountHeader, &headers);
  if (headers > kMaxHeaders) {
    context.log("too many headers caller=" + caller + " status=431");
    return Send(connection, MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE, "", {}, kText);
  }
  const std::size_t question = target.find('?');
  ServiceRequest request;
  request.path = target.substr(0, question);
  request.query = question == std::string::npos ? "" : target.substr(question + 1);
  request.caller = caller;
  request.now = std::chrono::duration_cast<std::chrono::seconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count();
  if (request.path == "/records") {
    context.log("records caller=" + caller + " status=200");
    return Send(connection, MHD_HTTP_OK, RecordsJson(context.database.Records()), {},
                "application/json");
  }
  try {
    const ServiceReply reply =
        HandleProtocolRequest(request, context.database, context.options.protocol);
    context.log(reply.logLine);
    return Send(connection, reply.status, "", reply.values, kText);
  } catch (const std::exception& error) {
    context.log("error caller=" + caller + " status=500: " + error.what());
    return Send(connection, MHD_HTTP_INTERNAL_SERVER_ERROR, "", {}, kText);
  }
}

}  // namespace

Server::Server(Database& database, ServerOptions options,
               std::function<void(const std::string&)> log)
    : context_(std::make_unique<Context>(Context{database, std::move(options), std::move(log)})) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(context_->options.port);
  if (::inet_pton(AF_INET, context_->options.listenAddress.c_str(), &address.sin_addr) != 1) {
    throw std::runtime_error("not an IPv4 address: " + context_->options.listenAddress);
  }
  daemon_ = MHD_start_daemon(
      MHD_USE_AUTO_INTERNAL_THREAD, context_->options.port, nullptr, nullptr, &Answer,
      context_.get(), MHD_OPTION_SOCK_ADDR, &address, MHD_OPTION_THREAD_POOL_SIZE,
      context_->options.threads, MHD_OPTION_CONNECTION_TIMEOUT,
      context_->options.readTimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,
      MHD_OPTION_CONNECTION_LIMIT, kMaxConnections, MHD_OPTION_URI_LOG_CALLBACK, &KeepTarget,
      nullptr, MHD_OPTION_NOTIFY_COMPLETED, &ForgetTarget, nullptr, MHD_OPTION_END);
  if (daemon_ == nullptr) {
    throw std::runtime_error("cannot listen on " + context_->options.listenAddress + ":" +
                             std::to_string(context_->options.port));
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
  port_ = info != nullptr ? info->port : context_->options.port;
}

Server::~Server() {
  if (daemon_ != nullptr) MHD_stop_daemon(daemon_);
}

std::string IsoTime(std::int64_t secondsSinceEpoch) {
  const auto time = static_cast<std::time_t>(secondsSinceEpoch);
  std::tm utc{};
  ::gmtime_r(&time, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string RecordsJson(const std::vector<Record>& records) {
  nlohmann::json list = nlohmann::json::array();
  for (const Record& record : records) {
    list.push_back({{"domain", record.domain},
                    {"address", record.address},
                    {"mx", record.mx},
                    {"updated", IsoTime(record.updated)}});
  }
  // Stored texts came from requests: replace anything that is not UTF-8 rather than throw.
  return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace quorvix::service
