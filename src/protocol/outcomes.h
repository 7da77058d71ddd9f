// What each command's reply means: the lines that tell the user what happened, the state the
// command exists for, and the success flag returned to the caller.
#pragma once

#include <string_view>

#include "base/program_state.h"
#include "settings/event_log.h"

namespace quorvix {

// START: per-domain "域名…动态解析成功" / "域名…动态解析失败,…" lines; true when the server
// took the request (status 200, RET-CODE "200", a non-empty RET-DMLIST), whatever each domain's
// result.
bool OnStartReply(std::string_view reply, EventLog& log);

// STOP: the same scheme with the stop texts.
bool OnStopReply(std::string_view reply, EventLog& log);

// GETIP: sets publicIp from Y-IP on success.
bool OnGetIpReply(std::string_view reply, ProgramState& state, EventLog& log);

// GETVER: sets serverMajor and serverMinor on success. A Major or Minor that is not a decimal
// number within 16 signed bits fails the outcome and keeps the earlier values.
bool OnGetVerReply(std::string_view reply, ProgramState& state, EventLog& log);

}  // namespace quorvix
