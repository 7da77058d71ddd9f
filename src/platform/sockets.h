// A thin layer over the platform's stream sockets (BSD sockets, Winsock), in the shapes the
// socket client needs: IPv4 TCP only, handles as integers, error codes as the platform gives
// them (errno, WSAGetLastError).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvix::platform {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// Starts the socket library asking for version 1.1: 0 on success, else the error code that the
// start-up returned. Trivial on POSIX.
int SocketLibraryStart();
void SocketLibraryCleanup();

// The last socket error code of this thread.
int LastSocketError();

// A blocking IPv4 TCP stream socket; negative on failure.
SocketHandle CreateTcpSocket();

// Connects to a dotted IPv4 address; 0 on success, else -1 (see LastSocketError).
int ConnectIpv4(SocketHandle socket, const std::string& dottedAddress, std::uint16_t port);

// One send or receive call: the byte count, 0 from a receive when the peer has closed, negative
// on error. Interrupted calls are retried.
long SendBytes(SocketHandle socket, const char* bytes, std::size_t length);
long ReceiveBytes(SocketHandle socket, char* buffer, std::size_t capacity);

// Waits until the socket is readable or signals an exception, at most `timeout`.
// Returns the number of ready sockets, 0 on time-out, -1 on error; `readable` tells whether the
// read set still holds the socket afterwards.
int WaitForSocket(SocketHandle socket, std::chrono::microseconds timeout, bool& readable);

void ShutdownSocket(SocketHandle socket);
void CloseSocket(SocketHandle socket);

// Every IPv4 address of a host name, as dotted text, in the order the resolver lists them.
std::vector<std::string> LookupIpv4(const std::string& name);

// The local host name into a buffer of `capacity` characters; -1 on failure.
int LocalHostName(char* buffer, std::size_t capacity);

}  // namespace quorvix::platform
