// A few threads for the requests that may wait (the database's busy time, the DNS server's
// confirmation), so that the server's polling thread never waits and GETIP and GETVER are
// answered whatever an update is waiting for.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvix::service {

class WorkerPool {
 public:
  explicit WorkerPool(unsigned threads);
  ~WorkerPool() { Stop(); }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Runs `job` on a worker; once stopping, at once on the caller's thread.
  void Post(std::function<void()> job);
  // Runs every job already posted, then ends the threads.
  void Stop();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace quorvix::service
