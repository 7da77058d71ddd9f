// An overall deadline per connection. The HTTP library's own time-out restarts at every byte, so
// a caller dripping one byte every few seconds would hold a connection for ever; this watch ends
// the reading side of any connection open past its deadline, which the library sees as the end
// of the request and closes.
#pragma once

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

  // Starts the connection's clock; `connection` must stay alive until Forget.
  void Watch(Connection& connection);
  // Stops watching; must come before the connection's socket is closed. Returns whether the
  // deadline passed (then `connection.overdue` is set too).
  bool Forget(Connection& connection);

 private:
  void Run();
  void Unlink(Connection& connection);

  const std::chrono::milliseconds limit_;
  const std::chrono::milliseconds tick_;  // how often the watch looks; also the grace given
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  Connection* first_ = nullptr;
  std::thread thread_;
};

}  // namespace quorvix::service
