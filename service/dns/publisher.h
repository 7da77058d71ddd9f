// Carries the queued DNS changes to the DNS server in one thread of its own: due changes are
// sent oldest first; one the server does not confirm stays queued and is tried again after a
// growing pause (1 s, 2 s, 4 s ... at most 5 minutes). The queue lives in the database, so
// what a restart interrupted goes out after it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dns/dns_updater.h"
#include "store/database.h"

namespace quorvix::service {

class Publisher {
 public:
  // `log` gets one line per failed or resumed delivery; safe to call from the publisher's thread.
  Publisher(Database& database, DnsUpdater updater, std::function<void(const std::string&)> log);
  ~Publisher();
  Publisher(const Publisher&) = delete;
  Publisher& operator=(const Publisher&) = delete;

  const DnsUpdater& updater() const { return updater_; }

  // Sends what is due now instead of at the next planned time.
  void Wake();

  struct Queued {
    std::string domain;
    std::int64_t version = 0;
  };
  enum class Outcome { kConfirmed, kPending };
  // Waits until the server confirmed each change or refused its first delivery, at most
  // `patience`. Call Wake() first.
  std::vector<Outcome> Await(const std::vector<Queued>& changes,
                             std::chrono::milliseconds patience);

 private:
  void Run();
  void Deliver(const DnsChange& change);

  Database& database_;
  DnsUpdater updater_;
  std::function<void(const std::string&)> log_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  bool woken_ = false;
  // Per domain (lower case): the newest version the server confirmed or failed to take.
  std::map<std::string, std::int64_t> confirmed_;
  std::map<std::string, std::int64_t> failed_;
  std::thread thread_;
};

}  // namespace quorvix::service
