// Windows Sockets 1.1, as the program has always asked for.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

#include "platform/sockets.h"
#include "platform/stop_signal.h"

namespace quorvix::platform {
namespace {

// A console program that takes stop requests waits in slices this long, so that a stop ends
// any socket wait within a second; the tray program, which takes none, waits in one piece.
constexpr std::chrono::microseconds kStopSlice = std::chrono::milliseconds(100);

bool StopArrived() {
  const HANDLE stop = static_cast<HANDLE>(StopEvent());
  return stop != nullptr && ::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0;
}

timeval Timeval(std::chrono::microseconds span) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(span);
  return {static_cast<long>(seconds.count()), static_cast<long>((span - seconds).count())};
}

// select() on one socket for reading or writing (and exceptions), cut into slices that look
// for a stop request; a stop fails the wait with WSAEINTR.
int SelectOne(SOCKET socket, bool write, std::chrono::microseconds timeout, bool& ready) {
  const bool stoppable = StopEvent() != nullptr;
  ready = false;
  for (;;) {
    // Looked at before each wait too: a reply that keeps coming must not hide a stop.
    if (stoppable && StopArrived()) {
      ::WSASetLastError(WSAEINTR);
      return -1;
    }
    fd_set wanted;
    fd_set except;
    FD_ZERO(&wanted);
    FD_ZERO(&except);
    FD_SET(socket, &wanted);
    FD_SET(socket, &except);
    const auto slice = stoppable ? std::min(timeout, kStopSlice) : timeout;
    timeval wait = Timeval(slice);
    const int count =
        ::select(0, write ? nullptr : &wanted, write ? &wanted : nullptr, &except, &wait);
    ready = count > 0 && FD_ISSET(socket, &wanted);
    if (count != 0) return count < 0 ? -1 : count;
    timeout -= slice;
    if (timeout.count() <= 0) return 0;
  }
}

}  // namespace

int SocketLibraryStart() {
  WSADATA data{};
  return ::WSAStartup(MAKEWORD(1, 1), &data);
}

void SocketLibraryCleanup() { ::WSACleanup(); }

int LastSocketError() { return ::WSAGetLastError(); }

SocketHandle CreateTcpSocket() {
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  return socket == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(socket);
}

int ConnectIpv4(SocketHandle socket, const std::string& dottedAddress, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (::inet_pton(AF_INET, dottedAddress.c_str(), &address.sin_addr) != 1) {
    ::WSASetLastError(WSAEINVAL);
    return -1;
  }
  const SOCKET handle = static_cast<SOCKET>(socket);
  if (StopEvent() == nullptr) {
    return ::connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? 0
                                                                                               : -1;
  }
  // Connect without blocking and wait for it, so that a stop request breaks the wait off.
  u_long on = 1;
  ::ioctlsocket(handle, FIONBIO, &on);
  int rc = ::connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  int error = rc == 0 ? 0 : ::WSAGetLastError();
  if (rc != 0 && error == WSAEWOULDBLOCK) {
    bool connected = false;
    // The system's own connect time-out ends a wait for a host that never answers.
    if (SelectOne(handle, true, std::chrono::hours(1), connected) < 0) {
      error = ::WSAGetLastError();
    } else {
      int length = sizeof error;
      if (::getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) !=
          0) {
        error = ::WSAGetLastError();
      } else if (error == 0 && !connected) {
        error = WSAETIMEDOUT;
      }
    }
  }
  u_long off = 0;
  ::ioctlsocket(handle, FIONBIO, &off);
  ::WSASetLastError(error);
  return error == 0 ? 0 : -1;
}

long SendBytes(SocketHandle socket, const char* bytes, std::size_t length) {
  return ::send(static_cast<SOCKET>(socket), bytes, static_cast<int>(length), 0);
}

long ReceiveBytes(SocketHandle socket, char* buffer, std::size_t capacity) {
  return ::recv(static_cast<SOCKET>(socket), buffer, static_cast<int>(capacity), 0);
}

int WaitForSocket(SocketHandle socket, std::chrono::microseconds timeout, bool& readable) {
  return SelectOne(static_cast<SOCKET>(socket), false, timeout, readable);
}

void ShutdownSocket(SocketHandle socket) { ::shutdown(static_cast<SOCKET>(socket), SD_BOTH); }
void CloseSocket(SocketHandle socket) { ::closesocket(static_cast<SOCKET>(socket)); }

int LocalHostName(char* buffer, std::size_t capacity) {
  return ::gethostname(buffer, static_cast<int>(capacity)) == 0 ? 0 : -1;
}

}  // namespace quorvix::platform
