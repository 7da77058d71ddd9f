// What the HTTP server keeps of one connection from its opening to its closing, and the reply it
// owes a caller whose request the HTTP library dropped without one.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvix::service {

struct Connection {
  int fd = -1;
  std::chrono::steady_clock::time_point opened;
  std::string target;             // the raw request target, query included, once the line came
  bool answered = false;          // the server queued a reply of its own
  bool tooManyArguments = false;  // more query pieces than any caller of the protocol sends
  // The reply a worker prepared while the library held the connection suspended.
  struct Reply {
    int status = 500;
    std::string body;
    std::vector<std::pair<std::string, std::string>> values;
    const char* contentType = nullptr;
  };
  std::optional<Reply> prepared;
  // Kept by DeadlineWatch under its lock.
  std::chrono::steady_clock::time_point due;
  bool overdue = false;
  Connection* previous = nullptr;
  Connection* next = nullptr;
};

// More query pieces than this is no protocol request; the library would also run out of the
// connection's memory on a few hundred and drop the request.
inline constexpr std::size_t kMaxQueryPieces = 32;

// The number of "&"-separated pieces in the query of `target` (0 without a query).
std::size_t QueryPieces(std::string_view target);

// The status owed to a caller that sent something the server never answered: 414 for too many
// query pieces, 408 when the request ran out of time, else 400 (a request line the library
// refused without a reply).
int OwedStatus(const Connection& connection, bool timedOut);

// Writes a bodiless reply with `status` straight to the socket, when nothing was sent on it yet
// and the caller sent something; true when written. For the connection-closed notification only,
// before the library closes the socket.
bool SendOwedReply(int fd, int status);

}  // namespace quorvix::service
