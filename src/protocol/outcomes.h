// What each command's reply means: the lines that tell the user what happened, the state the
// command exists for, and the success flag returned to the caller.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/program_state.h"
#include "settings/event_log.h"

namespace quorvix {

// What the reply said of one sent domain.
struct DomainResult {
  std::string domain;
  bool ok = false;
  std::string text;  // the result as the reply gave it
};

// What a START or STOP request carried, and what its reply said of it.
struct UpdateExchange {
  // The domains the request carried. A reply may speak only of these (compared without regard
  // to letter case, as DNS names are); unset, every domain it names counts.
  std::optional<std::vector<std::string>> sent;
  int unrequested = 0;  // results for domains that were not sent: not believed, only counted
  std::vector<DomainResult> results;  // for the sent domains, in reply order

  int Count(bool ok) const;  // sent domains the reply lists as done (true) or failed (false)
};

// START: per-domain "域名…动态解析成功" / "域名…动态解析失败,…" lines; true when the server
// took the request (status 200, RET-CODE "200", a non-empty RET-DMLIST), unless the list
// reports every sent domain it names as failed. `exchange`, when given, narrows the domains
// and receives the counts.
bool OnStartReply(std::string_view reply, EventLog& log, UpdateExchange* exchange = nullptr);

// STOP: the same scheme with the stop texts.
bool OnStopReply(std::string_view reply, EventLog& log, UpdateExchange* exchange = nullptr);

// GETIP: sets publicIp from Y-IP on success.
bool OnGetIpReply(std::string_view reply, ProgramState& state, EventLog& log);

// GETVER: sets serverMajor and serverMinor on success. A Major or Minor that is not a decimal
// number within 16 signed bits fails the outcome and keeps the earlier values.
bool OnGetVerReply(std::string_view reply, ProgramState& state, EventLog& log);

}  // namespace quorvix
