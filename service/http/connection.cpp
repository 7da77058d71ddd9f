#include "http/connection.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstddef>
#include <string>

namespace quorvix::service {

std::size_t QueryPieces(std::string_view target) {
  const std::size_t question = target.find('?');
  if (question == std::string_view::npos) return 0;
  return static_cast<std::size_t>(std::ranges::count(target.substr(question + 1), '&')) + 1;
}

int OwedStatus(const Connection& connection, bool timedOut) {
  if (connection.tooManyArguments) return 414;
  if (connection.overdue || timedOut) return 408;
  return 400;
}

bool SendOwedReply(int fd, int status) {
  tcp_info info{};
  socklen_t size = sizeof info;
  // Anything sent already (the library's own refusal) or an older kernel that does not say: the
  // caller has its answer or gets none; a caller that sent nothing is owed nothing.
  if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
      size < offsetof(tcp_info, tcpi_bytes_sent) + sizeof info.tcpi_bytes_sent ||
      info.tcpi_bytes_sent != 0 || info.tcpi_bytes_received == 0) {
    return false;
  }
  const char* reason = status == 408   ? "Request Timeout"
                       : status == 414 ? "URI Too Long"
                                       : "Bad Request";
  const std::string reply = "HTTP/1.1 " + std::to_string(status) + " " + reason +
                            "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
  // The socket does not block; a reply this small fits its empty send buffer whole.
  return ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT) ==
         static_cast<ssize_t>(reply.size());
}

}  // namespace quorvix::service
