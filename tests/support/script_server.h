// Each connection reads a request, then plays the next step, the last repeating, 5 s at most.
#pragma once

#include <arpa/inet.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/http_reply.h"

namespace quorvix::testing {

struct ServerStep {
  // Writes each chunk after `delay`, then closes, holds until the client closes, or resets.
  enum class Kind { Reply, Hold, Reset, CloseAtOnce };
  Kind kind = Kind::Reply;
  std::vector<std::string> chunks;
  std::chrono::milliseconds delay{0};

  static ServerStep Of(Kind kind, std::vector<std::string> chunks = {},
                       std::chrono::milliseconds delay = {}) {
    return {kind, std::move(chunks), delay};
  }
  static ServerStep Replying(std::string reply) { return Of(Kind::Reply, {std::move(reply)}); }
};

inline int Listen(const char* host, std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{AF_INET, 0, {}, {}};
  socklen_t length = sizeof address;
  if (fd < 0 || ::inet_pton(AF_INET, host, &address.sin_addr) != 1 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 8) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error(std::string("cannot listen on ") + host);
  }
  port = ntohs(address.sin_port);
  return fd;
}

inline std::uint16_t UnusedPort() {
  std::uint16_t port = 0;
  ::close(Listen("127.0.0.1", port));
  return port;
}

class ScriptServer {
 public:
  explicit ScriptServer(std::vector<ServerStep> script, const char* address = "127.0.0.1")
      : script_(std::move(script)), listener_(Listen(address, port_)) {
    if (script_.empty()) script_.push_back(ServerStep::Of(ServerStep::Kind::CloseAtOnce));
    thread_ = std::thread([this] {
      for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; ::close(fd)) {
        const timeval limit{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        Serve(fd, script_[std::min<std::size_t>(connections_++, script_.size() - 1)]);
      }
    });
  }
  ~ScriptServer() { Stop(); }

  std::uint16_t port() const { return port_; }
  int connections() const { return connections_; }
  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  void Stop() {
    if (!thread_.joinable()) return;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }

 private:
  void Serve(int fd, const ServerStep& step) {
    std::string request;  // up to its empty line, or until the client stops sending
    char buffer[4096];
    for (ssize_t n; request.find("\r\n\r\n") == request.npos &&
                    (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
      request.append(buffer, n);
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    for (const std::string& chunk : step.chunks) {
      std::this_thread::sleep_for(step.delay);
      if (::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) != ssize_t(chunk.size())) return;
    }
    while (step.kind == ServerStep::Kind::Hold && ::recv(fd, buffer, 1, 0) > 0) {
    }
    const linger reset{1, 0};
    if (step.kind == ServerStep::Kind::Reset) {
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
  }

  std::vector<ServerStep> script_;
  std::uint16_t port_ = 0;  // set by the listener's initializer, so declared before it
  int listener_;
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace quorvix::testing
