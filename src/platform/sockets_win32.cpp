// Windows Sockets 1.1, as the program has always asked for.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/sockets.h"

namespace quorvix::platform {

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
  return ::connect(static_cast<SOCKET>(socket), reinterpret_cast<const sockaddr*>(&address),
                   sizeof address) == 0
             ? 0
             : -1;
}

long SendBytes(SocketHandle socket, const char* bytes, std::size_t length) {
  return ::send(static_cast<SOCKET>(socket), bytes, static_cast<int>(length), 0);
}

long ReceiveBytes(SocketHandle socket, char* buffer, std::size_t capacity) {
  return ::recv(static_cast<SOCKET>(socket), buffer, static_cast<int>(capacity), 0);
}

int WaitForSocket(SocketHandle socket, std::chrono::microseconds timeout, bool& readable) {
  fd_set read;
  fd_set except;
  FD_ZERO(&read);
  FD_ZERO(&except);
  FD_SET(static_cast<SOCKET>(socket), &read);
  FD_SET(static_cast<SOCKET>(socket), &except);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  timeval wait{static_cast<long>(seconds.count()), static_cast<long>((timeout - seconds).count())};
  const int ready = ::select(0, &read, nullptr, &except, &wait);
  readable = ready > 0 && FD_ISSET(static_cast<SOCKET>(socket), &read);
  return ready < 0 ? -1 : ready;
}

void ShutdownSocket(SocketHandle socket) { ::shutdown(static_cast<SOCKET>(socket), SD_BOTH); }
void CloseSocket(SocketHandle socket) { ::closesocket(static_cast<SOCKET>(socket)); }

int LocalHostName(char* buffer, std::size_t capacity) {
  return ::gethostname(buffer, static_cast<int>(capacity)) == 0 ? 0 : -1;
}

}  // namespace quorvix::platform
