// The service on HTTP: both servers of the protocol and a read-only view of the records on one
// listening address, with bounded requests and time-outs so that no client can hold or flood it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "protocol/handler.h"
#include "store/database.h"

struct MHD_Daemon;

namespace quorvix::service {

struct ServerOptions {
  std::string listenAddress = "127.0.0.1";
  std::uint16_t port = 0;            // 0: any free port (see Server::port)
  bool trustForwardedFor = false;    // take the caller from one reverse proxy's X-Forwarded-For
  unsigned readTimeoutSeconds = 10;  // a client idle this long is disconnected
  // A request still unanswered this long after its connection opened is refused with 408 and
  // its connection ended, however steadily the client trickles bytes.
  std::chrono::milliseconds requestDeadline{20000};
  // Connections one address may hold at once; more are closed as they come, so that a few
  // addresses cannot take every connection. 0: no limit. Behind a proxy every caller shares the
  // proxy's address: raise it there and limit at the proxy.
  unsigned connectionsPerAddress = 32;
  ServiceOptions protocol;
};

class Server {
 public:
  // Starts listening at once; throws std::runtime_error when it cannot. `log` receives one line
  // per request and must be safe to call from the server's threads.
  Server(Database& database, ServerOptions options, std::function<void(const std::string&)> log);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  std::uint16_t port() const { return port_; }

  struct Context;  // the request handler's view of the server

 private:
  std::unique_ptr<Context> context_;
  MHD_Daemon* daemon_ = nullptr;
  std::uint16_t port_ = 0;
};

// The records as JSON: [{"domain":..., "address":..., "mx":..., "updated":"2026-12-06T19:30:00Z"}].
std::string RecordsJson(const std::vector<Record>& records);

// An ISO 8601 UTC time stamp.
std::string IsoTime(std::int64_t secondsSinceEpoch);

}  // namespace quorvix::service
