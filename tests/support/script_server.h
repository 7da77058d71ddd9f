// A scripted HTTP server on 127.0.0.1 and an ephemeral port, for tests of the client. Each
// accepted connection reads one request (recorded byte for byte) and then plays the next step
// of the script; the last step repeats. The server stops by itself when destroyed, or after
// its lifetime has passed even if a test forgets it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/http_reply.h"

namespace quorvix::testing {

struct ServerStep {
  enum class Kind {
    Reply,        // write each chunk (after `delay` each), then close
    ReplyOpen,    // write each chunk, then keep the connection open without a word
    CloseAtOnce,  // close without writing
    NeverAnswer,  // keep the connection open, write nothing
    Drip,         // write the first chunk one byte at a time, `delay` apart, then keep open
    Flood,        // write `floodBytes` bytes as fast as the client takes them
    Reset,        // write the chunks, then reset the connection (RST)
  };
  Kind kind = Kind::Reply;
  std::vector<std::string> chunks;
  std::chrono::milliseconds delay{0};
  std::size_t floodBytes = 0;

  static ServerStep Of(Kind kind, std::vector<std::string> chunks = {},
                       std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
    ServerStep step;
    step.kind = kind;
    step.chunks = std::move(chunks);
    step.delay = delay;
    return step;
  }
  static ServerStep Replying(std::string reply) { return Of(Kind::Reply, {std::move(reply)}); }
  static ServerStep Flooding(std::size_t bytes) {
    ServerStep step = Of(Kind::Flood);
    step.floodBytes = bytes;
    return step;
  }
};

class ScriptServer {
 public:
  explicit ScriptServer(std::vector<ServerStep> script,
                        std::chrono::seconds lifetime = std::chrono::seconds(20));
  ~ScriptServer();
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;

  std::uint16_t port() const { return port_; }
  int connections() const { return connections_.load(); }
  std::vector<std::string> requests() const;

  // Stops accepting and closes every connection; waits for the server's thread.
  void Stop();

 private:
  void Run();
  void Serve(int fd, const ServerStep& step);
  bool Stopping() const;

  std::vector<ServerStep> script_;
  std::chrono::steady_clock::time_point end_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (bound, then closed).
std::uint16_t UnusedPort();

}  // namespace quorvix::testing
