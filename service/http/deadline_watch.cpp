#include "http/deadline_watch.h"

#include <sys/socket.h>

#include <algorithm>

namespace quorvix::service {

using Clock = std::chrono::steady_clock;

DeadlineWatch::DeadlineWatch(std::chrono::milliseconds limit)
    : limit_(limit),
      tick_(std::clamp(limit / 4, std::chrono::milliseconds(10), std::chrono::milliseconds(1000))),
      thread_([this] { Run(); }) {}

DeadlineWatch::~DeadlineWatch() {
  {
    std::lock_guard lock(stopMutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

DeadlineWatch::Shard& DeadlineWatch::ShardOf(const Connection& connection) {
  return shards_[static_cast<unsigned>(connection.fd) % shards_.size()];
}

void DeadlineWatch::Watch(Connection& connection) {
  connection.opened = Clock::now();
  connection.due = connection.opened + limit_;
  connection.overdue = false;
  Shard& shard = ShardOf(connection);
  std::lock_guard lock(shard.mutex);
  connection.previous = nullptr;
  connection.next = shard.first;
  if (shard.first != nullptr) shard.first->previous = &connection;
  shard.first = &connection;
}

bool DeadlineWatch::Forget(Connection& connection) {
  Shard& shard = ShardOf(connection);
  std::lock_guard lock(shard.mutex);
  Unlink(shard, connection);
  return connection.overdue;
}

void DeadlineWatch::Unlink(Shard& shard, Connection& connection) {
  if (connection.previous != nullptr) {
    connection.previous->next = connection.next;
  } else if (shard.first == &connection) {
    shard.first = connection.next;
  }
  if (connection.next != nullptr) connection.next->previous = connection.previous;
  connection.previous = connection.next = nullptr;
}

void DeadlineWatch::Expire(Shard& shard, Clock::time_point now) {
  std::lock_guard lock(shard.mutex);
  for (Connection* connection = shard.first; connection != nullptr;) {
    Connection* const next = connection->next;
    if (connection->due <= now) {
      if (!connection->overdue) {
        // Reading ends first, so that the request-timeout reply can still be written.
        connection->overdue = true;
        connection->due = now + tick_;
        ::shutdown(connection->fd, SHUT_RD);
      } else {
        // Still open a tick later, e.g. a caller that reads no reply: end it entirely.
        ::shutdown(connection->fd, SHUT_RDWR);
        Unlink(shard, *connection);
      }
    }
    connection = next;
  }
}

void DeadlineWatch::Run() {
  std::unique_lock lock(stopMutex_);
  while (!stopping_) {
    const Clock::time_point now = Clock::now();
    for (Shard& shard : shards_) Expire(shard, now);
    wake_.wait_for(lock, tick_, [this] { return stopping_; });
  }
}

}  // namespace quorvix::service
