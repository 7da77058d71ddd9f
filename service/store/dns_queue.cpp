// The queue of DNS changes not yet confirmed by the DNS server: one row per domain.
#include "store/database.h"
#include "store/prepared_statement.h"

namespace quorvix::service {

std::int64_t Database::QueueDnsChange(std::string_view domain, std::string_view address, bool mx,
                                      std::int64_t now) {
  const auto lock = Lock();
  CheckFile();
  const std::int64_t version = lastVersion_ + 1;
  PreparedStatement(*this,
                    "INSERT INTO dns_queue(domain, address, mx, version, attempts, next_try) "
                    "VALUES(?1, ?2, ?3, ?4, 0, ?5) ON CONFLICT(domain) DO UPDATE SET "
                    "domain = excluded.domain, address = excluded.address, mx = excluded.mx, "
                    "version = excluded.version, attempts = 0, next_try = excluded.next_try")
      .Bind(1, domain)
      .Bind(2, address)
      .Bind(3, std::int64_t{mx ? 1 : 0})
      .Bind(4, version)
      .Bind(5, now)
      .Step();
  lastVersion_ = version;
  return version;
}

std::vector<DnsChange> Database::DueDnsChanges(std::int64_t now, int limit) {
  const auto lock = Lock();
  CheckFile();
  PreparedStatement select(*this,
                           "SELECT domain, address, mx, version, attempts, next_try FROM dns_queue "
                           "WHERE next_try <= ?1 ORDER BY next_try, version LIMIT ?2");
  select.Bind(1, now).Bind(2, std::int64_t{limit});
  std::vector<DnsChange> changes;
  while (select.Step()) {
    changes.push_back({select.Text(0), select.Text(1), select.Int(2) != 0, select.Int(3),
                       static_cast<int>(select.Int(4)), select.Int(5)});
  }
  return changes;
}

std::optional<std::int64_t> Database::NextDnsChangeDue() {
  const auto lock = Lock();
  CheckFile();
  PreparedStatement select(*this, "SELECT min(next_try) FROM dns_queue");
  if (!select.Step() || select.Null(0)) return std::nullopt;
  return select.Int(0);
}

void Database::ConfirmDnsChange(std::string_view domain, std::int64_t version) {
  const auto lock = Lock();
  CheckFile();
  PreparedStatement(*this, "DELETE FROM dns_queue WHERE domain = ?1 AND version = ?2")
      .Bind(1, domain)
      .Bind(2, version)
      .Step();
}

void Database::PostponeDnsChange(std::string_view domain, std::int64_t version, int attempts,
                                 std::int64_t nextTry) {
  const auto lock = Lock();
  CheckFile();
  PreparedStatement(*this,
                    "UPDATE dns_queue SET attempts = ?3, next_try = ?4 "
                    "WHERE domain = ?1 AND version = ?2")
      .Bind(1, domain)
      .Bind(2, version)
      .Bind(3, std::int64_t{attempts})
      .Bind(4, nextTry)
      .Step();
}

}  // namespace quorvix::service
