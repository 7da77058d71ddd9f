#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/sockets.h"
#include "platform/stop_signal.h"

namespace quorvix::platform {

int SocketLibraryStart() { return 0; }
void SocketLibraryCleanup() {}

int LastSocketError() { return errno; }

SocketHandle CreateTcpSocket() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  return fd < 0 ? kNoSocket : fd;
}

int ConnectIpv4(SocketHandle socket, const std::string& dottedAddress, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (::inet_pton(AF_INET, dottedAddress.c_str(), &address.sin_addr) != 1) {
    errno = EINVAL;
    return -1;
  }
  // Connect without blocking and wait for it, so that a stop request breaks the wait off.
  const int fd = static_cast<int>(socket);
  const int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (rc != 0 && errno == EINPROGRESS) {
    pollfd entry{fd, POLLOUT, 0};
    const sigset_t mask = StopWaitMask();
    do {
      rc = ::ppoll(&entry, 1, nullptr, &mask);
    } while (rc < 0 && errno == EINTR && !StopRequested());
    if (rc > 0) {
      int error = 0;
      socklen_t length = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
      errno = error;
      rc = error == 0 ? 0 : -1;
    } else {
      rc = -1;
    }
  }
  const int saved = errno;
  ::fcntl(fd, F_SETFL, flags);
  errno = saved;
  return rc == 0 ? 0 : -1;
}

long SendBytes(SocketHandle socket, const char* bytes, std::size_t length) {
  ssize_t n;
  // MSG_NOSIGNAL: a peer that has gone must give an error, not kill the program with SIGPIPE.
  do {
    n = ::send(static_cast<int>(socket), bytes, length, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

long ReceiveBytes(SocketHandle socket, char* buffer, std::size_t capacity) {
  ssize_t n;
  do {
    n = ::recv(static_cast<int>(socket), buffer, capacity, 0);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

int WaitForSocket(SocketHandle socket, std::chrono::microseconds timeout, bool& readable) {
  // poll rather than select: select cannot watch descriptors above FD_SETSIZE.
  pollfd entry{static_cast<int>(socket), POLLIN | POLLPRI, 0};
  const auto left = std::chrono::ceil<std::chrono::nanoseconds>(timeout);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
  const timespec wait{static_cast<time_t>(seconds.count()),
                      static_cast<long>((left - seconds).count())};
  // The stop signals are let through: a stop request ends the wait (as an error).
  const sigset_t mask = StopWaitMask();
  int rc;
  do {
    rc = ::ppoll(&entry, 1, &wait, &mask);
  } while (rc < 0 && errno == EINTR && !StopRequested());
  readable = false;
  if (rc <= 0) return rc < 0 ? -1 : 0;
  if ((entry.revents & POLLNVAL) != 0) {
    errno = EBADF;
    return -1;
  }
  // As with select: a closed or failed connection is readable (the receive then tells which);
  // urgent data alone is the exception set.
  readable = (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
  return 1;
}

void ShutdownSocket(SocketHandle socket) { ::shutdown(static_cast<int>(socket), SHUT_RDWR); }
void CloseSocket(SocketHandle socket) { ::close(static_cast<int>(socket)); }

int LocalHostName(char* buffer, std::size_t capacity) {
  return ::gethostname(buffer, capacity) == 0 ? 0 : -1;
}

}  // namespace quorvix::platform
