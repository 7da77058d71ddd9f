#include "support/script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace quorvix::testing {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(10);

int Listen(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 8) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  port = ntohs(address.sin_port);
  return fd;
}

// Waits for readability in short slices so that a stop is seen quickly.
template <typename StopFn>
bool WaitReadable(int fd, StopFn stopping) {
  while (!stopping()) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(kPoll.count())) > 0) return true;
  }
  return false;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

ScriptServer::ScriptServer(std::vector<ServerStep> script, std::chrono::seconds lifetime)
    : script_(std::move(script)), end_(std::chrono::steady_clock::now() + lifetime) {
  if (script_.empty()) script_.push_back(ServerStep::Of(ServerStep::Kind::CloseAtOnce));
  listener_ = Listen(port_);
  thread_ = std::thread([this] { Run(); });
}

ScriptServer::~ScriptServer() { Stop(); }

void ScriptServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
  listener_ = -1;
}

bool ScriptServer::Stopping() const {
  return stop_.load() || std::chrono::steady_clock::now() > end_;
}

std::vector<std::string> ScriptServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void ScriptServer::Run() {
  const auto stopping = [this] { return Stopping(); };
  while (WaitReadable(listener_, stopping)) {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    // A client that stops reading must not pin the server in a send.
    const timeval sendLimit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
    const std::size_t index = static_cast<std::size_t>(connections_++);
    Serve(fd, script_[std::min(index, script_.size() - 1)]);
    ::close(fd);
  }
}

void ScriptServer::Serve(int fd, const ServerStep& step) {
  const auto stopping = [this] { return Stopping(); };
  // Read the request up to its empty line (or until the client stops sending).
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos && WaitReadable(fd, stopping)) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  const auto pause = [&](std::chrono::milliseconds duration) {
    const auto until = std::chrono::steady_clock::now() + duration;
    while (!stopping() && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(kPoll / 5);
  };
  // Keeps the connection until the client closes it or the server stops.
  const auto hold = [&] {
    while (WaitReadable(fd, stopping)) {
      if (::recv(fd, buffer, sizeof buffer, 0) <= 0) return;
    }
  };
  using Kind = ServerStep::Kind;
  switch (step.kind) {
    case Kind::Reply:
    case Kind::ReplyOpen:
    case Kind::Reset:
      for (const std::string& chunk : step.chunks) {
        pause(step.delay);
        if (!WriteAll(fd, chunk)) return;
      }
      if (step.kind == Kind::ReplyOpen) hold();
      if (step.kind == Kind::Reset) {
        const linger abort{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
      }
      return;
    case Kind::CloseAtOnce:
      return;
    case Kind::NeverAnswer:
      hold();
      return;
    case Kind::Drip:
      for (const char c : step.chunks.empty() ? std::string() : step.chunks.front()) {
        pause(step.delay);
        if (stopping() || !WriteAll(fd, std::string_view(&c, 1))) return;
      }
      hold();
      return;
    case Kind::Flood: {
      const std::string block(64 * 1024, 'x');
      for (std::size_t sent = 0; sent < step.floodBytes && !stopping();) {
        const std::size_t length = std::min(block.size(), step.floodBytes - sent);
        if (!WriteAll(fd, std::string_view(block).substr(0, length))) return;
        sent += length;
      }
      return;
    }
  }
}

std::uint16_t UnusedPort() {
  std::uint16_t port = 0;
  ::close(Listen(port));
  return port;
}

}  // namespace quorvix::testing
