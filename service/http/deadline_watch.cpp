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
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void DeadlineWatch::Watch(Connection& connection) {
  std::lock_guard lock(mutex_);
  connection.opened = Clock::now();
  connection.due = connection.opened + limit_;
  connection.overdue = false;
  connection.previous = nullptr;
  connection.next = first_;
  if (first_ != nullptr) first_->previous = &connection;
  first_ = &connection;
}

bool DeadlineWatch::Forget(Connection& connection) {
  std::lock_guard lock(mutex_);
  Unlink(connection);
  return connection.overdue;
}

void DeadlineWatch::Unlink(Connection& connection) {
  if (connection.previous != nullptr) {
    connection.previous->next = connection.next;
  } else if (first_ == &connection) {
    first_ = connection.next;
  }
  if (connection.next != nullptr) connection.next->previous = connection.previous;
  connection.previous = connection.next = nullptr;
}

void DeadlineWatch::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    const Clock::time_point now = Clock::now();
    for (Connection* connection = first_; connection != nullptr;) {
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
          Unlink(*connection);
        }
      }
      connection = next;
    }
    wake_.wait_for(lock, tick_, [this] { return stopping_; });
  }
}

}  // namespace quorvix::service
