// An overall deadline per connection. The HTTP library's own time-out restarts at every byte, so
// a caller dripping one byte every few seconds would hold a connection for ever; this watch ends
// the reading side of any connection open past its deadline, which the library sees as the end
// of the request and closes.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "http/connection.h"

namespace quorvix::service {

class DeadlineWatch {
 public:
  explicit DeadlineWatch(std::chrono::milliseconds limit);
  ~DeadlineWatch();
  DeadlineWatch(const DeadlineWatch&) = delete;
  DeadlineWatch& operator=(const DeadlineWatch&) = delete;

  // Starts the connection's clock; `connection` (its fd set) must stay alive until Forget.
  void Watch(Connection& connection);
  // Stops watching; must come before the connection's socket is closed. Returns whether the
  // deadline passed (then `connection.overdue` is set too).
  bool Forget(Connection& connection);

 private:
  // Connections spread over shards by socket, so that the server's threads seldom wait for each
  // other; the watch's own thread visits each shard a few times per deadline.
  struct Shard {
    std::mutex mutex;
    Connection* first = nullptr;
  };
  Shard& ShardOf(const Connection& connection);
  void Run();
  void Expire(Shard& shard, std::chrono::steady_clock::time_point now);
  static void Unlink(Shard& shard, Connection& connection);

  const std::chrono::milliseconds limit_;
  const std::chrono::milliseconds tick_;  // how often the watch looks; also the grace given
  std::array<Shard, 16> shards_;
  std::mutex stopMutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace quorvix::service
