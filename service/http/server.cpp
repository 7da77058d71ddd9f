#include "http/server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "http/caller.h"
#include "http/connection.h"
#include "http/deadline_watch.h"
#include "http/worker_pool.h"
#include "platform/codepage.h"
#include "protocol/commands.h"
#include "settings/event_log.h"

namespace quorvix::service {

// Updates and the records page wait at most for the database's busy time or the DNS server's
// confirmation, a few seconds: this many of them at once before the next one waits its turn.
constexpr unsigned kWorkers = 4;

struct Server::Context {
  Database& database;
  ServerOptions options;
  std::function<void(const std::string&)> log;
  DeadlineWatch deadlines;
  WorkerPool workers{kWorkers};

  Context(Database& store, ServerOptions serverOptions,
          std::function<void(const std::string&)> logLine)
      : database(store),
        options(std::move(serverOptions)),
        log(std::move(logLine)),
        deadlines(options.requestDeadline) {}

  // Request text reaches the log: no control character may start a line or drive a terminal.
  void Log(const std::string& line) const { log(EscapeControls(line)); }
};

namespace {

// Bounds of one request: the request line and all headers share this memory, so a longer URI
// gets 414 and more header bytes 431 from the library itself.
constexpr std::size_t kConnectionMemory = 16 * 1024;
constexpr unsigned kMaxConnections = 256;
constexpr int kMaxHeaders = 48;
constexpr const char* kText = "text/plain; charset=GBK";

Connection* ConnectionOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
  return info != nullptr ? static_cast<Connection*>(info->socket_context) : nullptr;
}

// Per connection, not per request: the library calls this for every connection it opens and
// closes, while a request it drops while parsing (for instance one with hundreds of query
// arguments) never reaches a request-completed callback, and its state would leak.
void OnConnection(void* raw, MHD_Connection* connection, void** socketContext,
                  MHD_ConnectionNotificationCode code) {
  auto& context = *static_cast<Server::Context*>(raw);
  if (code == MHD_CONNECTION_NOTIFY_STARTED) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    auto* state = new Connection;
    state->fd = info != nullptr ? info->connect_fd : -1;
    context.deadlines.Watch(*state);
    *socketContext = state;
    return;
  }
  auto* state = static_cast<Connection*>(*socketContext);
  if (state == nullptr) return;
  *socketContext = nullptr;
  context.deadlines.Forget(*state);
  if (!state->answered) {
    // The library refuses some requests by closing the connection without a word; the caller
    // still gets a status.
    const bool idle = std::chrono::steady_clock::now() - state->opened >=
                      std::chrono::seconds(context.options.readTimeoutSeconds);
    const int status = OwedStatus(*state, idle);
    if (SendOwedReply(state->fd, status)) {
      context.Log("refused caller=" + CallerOf(connection, false).value_or("") +
                  " status=" + std::to_string(status));
    }
  }
  delete state;
}

// The raw request target, query included, kept before the library splits and decodes it.
void* KeepTarget(void* raw, const char* uri, MHD_Connection* connection) {
  Connection* state = ConnectionOf(connection);
  if (state == nullptr) return nullptr;
  state->target = uri;
  state->tooManyArguments = QueryPieces(state->target) > kMaxQueryPieces;
  // The library, out of memory for hundreds of arguments, drops such a request and waits for
  // the idle time-out: refuse it here and end the connection at once.
  if (state->tooManyArguments && SendOwedReply(state->fd, MHD_HTTP_URI_TOO_LONG)) {
    state->answered = true;
    ::shutdown(state->fd, SHUT_RDWR);
    static_cast<Server::Context*>(raw)->Log(
        "too many arguments caller=" + CallerOf(connection, false).value_or("") + " status=414");
  }
  return state;
}

MHD_Result CountHeader(void* count, MHD_ValueKind, const char*, const char*) {
  ++*static_cast<int*>(count);
  return MHD_YES;
}

MHD_Result Send(MHD_Connection* connection, Connection* state, int status, const std::string& body,
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
  if (queued == MHD_YES && state != nullptr) state->answered = true;
  return queued;
}

// Nothing may escape into the HTTP library: a busy or lost database is a server error.
Connection::Reply Prepare(Server::Context& context, const ServiceRequest& request) {
  try {
    if (request.path == "/records") {
      std::string json = RecordsJson(context.database.Records());
      context.Log("records caller=" + request.caller + " status=200");
      return {MHD_HTTP_OK, std::move(json), {}, "application/json"};
    }
    ServiceReply reply = HandleProtocolRequest(request, context.database, context.options.protocol);
    context.Log(reply.logLine);
    return {reply.status, "", std::move(reply.values), kText};
  } catch (const std::exception& error) {
    context.Log("error caller=" + request.caller + " status=500: " + error.what());
    return {MHD_HTTP_INTERNAL_SERVER_ERROR, "", {}, kText};
  }
}

MHD_Result Send(MHD_Connection* connection, Connection* state, const Connection::Reply& reply) {
  return Send(connection, state, reply.status, reply.body, reply.values, reply.contentType);
}

MHD_Result Answer(void* raw, MHD_Connection* connection, const char*, const char* method,
                  const char*, const char*, size_t* uploadSize, void** requestState) {
  auto& context = *static_cast<Server::Context*>(raw);
  auto* state = static_cast<Connection*>(*requestState);
  if (state != nullptr && state->answered) return MHD_NO;  // refused before the headers came
  if (state != nullptr && state->prepared) {               // back from a worker
    const Connection::Reply reply = std::move(*state->prepared);
    state->prepared.reset();
    return Send(connection, state, reply);
  }
  const std::string& target = state != nullptr ? state->target : std::string();
  const auto refuse = [&](const std::string& why, const std::string& caller, int status) {
    context.Log(why + " caller=" + caller + " status=" + std::to_string(status));
    return Send(connection, state, status, "", {}, kText);
  };
  const std::optional<std::string> caller = CallerOf(connection, context.options.trustForwardedFor);
  if (!caller) {
    return refuse("bad forwarded address", CallerOf(connection, false).value_or(""),
                  MHD_HTTP_BAD_REQUEST);
  }
  if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 || *uploadSize != 0) {
    return refuse("method " + std::string(method), *caller, MHD_HTTP_METHOD_NOT_ALLOWED);
  }
  int headers = 0;
  MHD_get_connection_values(connection, MHD_HEADER_KIND, CountHeader, &headers);
  if (headers > kMaxHeaders) {
    return refuse("too many headers", *caller, MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE);
  }
  if (state == nullptr || state->tooManyArguments) {
    return refuse("too many arguments", *caller, MHD_HTTP_URI_TOO_LONG);
  }
  const std::size_t question = target.find('?');
  ServiceRequest request;
  request.path = target.substr(0, question);
  request.query = question == std::string::npos ? "" : target.substr(question + 1);
  request.caller = *caller;
  request.now = std::chrono::duration_cast<std::chrono::seconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count();
  if (request.path == kInfoPath) return Send(connection, state, Prepare(context, request));
  // The rest may wait for the database or the DNS server: a worker prepares the reply while the
  // library holds the connection, and GETIP and GETVER are answered meanwhile.
  MHD_suspend_connection(connection);
  context.workers.Post([&context, connection, state, request] {
    state->prepared = Prepare(context, request);
    MHD_resume_connection(connection);
  });
  return MHD_YES;
}

}  // namespace

Server::Server(Database& database, ServerOptions options,
               std::function<void(const std::string&)> log)
    : context_(std::make_unique<Context>(database, std::move(options), std::move(log))) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(context_->options.port);
  if (::inet_pton(AF_INET, context_->options.listenAddress.c_str(), &address.sin_addr) != 1) {
    throw std::runtime_error("not an IPv4 address: " + context_->options.listenAddress);
  }
  // One polling thread (epoll): the library's thread pool crashes when it stops with a request
  // that it dropped while parsing, and a reply here costs far less than a connection. Turbo:
  // fewer system calls, and no shutdown before the close, so a reply owed at the close still
  // goes out.
  daemon_ = MHD_start_daemon(
      MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_TURBO | MHD_ALLOW_SUSPEND_RESUME,
      context_->options.port, nullptr, nullptr, &Answer, context_.get(), MHD_OPTION_SOCK_ADDR,
      &address, MHD_OPTION_CONNECTION_TIMEOUT, context_->options.readTimeoutSeconds,
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_CONNECTION_LIMIT,
      kMaxConnections, MHD_OPTION_PER_IP_CONNECTION_LIMIT, context_->options.connectionsPerAddress,
      MHD_OPTION_URI_LOG_CALLBACK, &KeepTarget, context_.get(), MHD_OPTION_NOTIFY_CONNECTION,
      &OnConnection, context_.get(), MHD_OPTION_END);
  if (daemon_ == nullptr) {
    throw std::runtime_error("cannot listen on " + context_->options.listenAddress + ":" +
                             std::to_string(context_->options.port));
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
  port_ = info != nullptr ? info->port : context_->options.port;
}

Server::~Server() {
  // No connection may stay suspended when the library stops: every waiting one gets its reply.
  context_->workers.Stop();
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
