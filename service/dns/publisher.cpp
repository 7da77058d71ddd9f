#include "dns/publisher.h"

#include <algorithm>

namespace quorvix::service {
namespace {

constexpr int kBatch = 32;
constexpr std::int64_t kLongestPause = 300;

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  });
  return text;
}

}  // namespace

Publisher::Publisher(Database& database, DnsUpdater updater,
                     std::function<void(const std::string&)> log)
    : database_(database), updater_(std::move(updater)), log_(std::move(log)) {
  thread_ = std::thread([this] { Run(); });
}

Publisher::~Publisher() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void Publisher::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  changed_.notify_all();
}

std::vector<Publisher::Outcome> Publisher::Await(const std::vector<Queued>& changes,
                                                 std::chrono::milliseconds patience) {
  const auto reached = [](const std::map<std::string, std::int64_t>& seen, const Queued& change) {
    const auto found = seen.find(Lower(change.domain));
    return found != seen.end() && found->second >= change.version;
  };
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, patience, [&] {
    return stopping_ || std::all_of(changes.begin(), changes.end(), [&](const Queued& change) {
             return reached(confirmed_, change) || reached(failed_, change);
           });
  });
  std::vector<Outcome> outcomes;
  for (const Queued& change : changes) {
    outcomes.push_back(reached(confirmed_, change) ? Outcome::kConfirmed : Outcome::kPending);
  }
  return outcomes;
}

void Publisher::Deliver(const DnsChange& change) {
  const std::optional<std::string> error = updater_.Apply(change);
  if (!error) {
    database_.ConfirmDnsChange(change.domain, change.version);
    if (change.attempts > 0) {
      log_("dns " + change.domain + " delivered after " + std::to_string(change.attempts) +
           " failed attempts");
    }
  } else {
    const int attempts = change.attempts + 1;
    const std::int64_t pause =
        std::min<std::int64_t>(kLongestPause, std::int64_t{1} << std::min(attempts - 1, 9));
    database_.PostponeDnsChange(change.domain, change.version, attempts, Now() + pause);
    log_("dns " + change.domain + " not confirmed (" + *error + "); try " +
         std::to_string(attempts + 1) + " in " + std::to_string(pause) + " s");
  }
  {
    std::lock_guard lock(mutex_);
    auto& seen = error ? failed_ : confirmed_;
    std::int64_t& version = seen[Lower(change.domain)];
    version = std::max(version, change.version);
  }
  changed_.notify_all();
}

void Publisher::Run() {
  for (;;) {
    std::optional<std::int64_t> next;
    try {
      for (const DnsChange& change : database_.DueDnsChanges(Now(), kBatch)) {
        {
          std::lock_guard lock(mutex_);
          if (stopping_) return;
        }
        Deliver(change);
      }
      next = database_.NextDnsChangeDue();
    } catch (const DatabaseError& error) {
      // Busy or gone: the service's watch reports a lost database; a busy one is tried again.
      log_(std::string("dns queue: ") + error.what());
      next = Now() + 1;
    }
    std::unique_lock lock(mutex_);
    if (stopping_) return;
    if (next && *next <= Now()) continue;
    const auto until = next ? std::chrono::system_clock::time_point(std::chrono::seconds(*next))
                            : std::chrono::system_clock::now() + std::chrono::hours(1);
    changed_.wait_until(lock, until, [&] { return stopping_ || woken_; });
    woken_ = false;
    if (stopping_) return;
  }
}

}  // namespace quorvix::service
