// The public-IP watch: every 30th tick of the minute timer asks for the public address and
// updates the domains when it changed, or when the last update failed. A change of the
// machine's own addresses brings the same check forward.
#include "protocol/commands.h"
#include "shell/shell.h"

namespace quorvix {
namespace {

constexpr std::int16_t kTicksPerCheck = 30;

}  // namespace

void Shell::OnWatchTick() {
  ProgramState& state = s_.state;
  if (++state.ipCheckTicks < kTicksPerCheck) return;
  CheckPublicIp({});
  state.ipCheckTicks = 0;
}

std::optional<Shell::SteadyTime> Shell::AddressesChanged(SteadyTime now) {
  early_.Notify(now);
  return EarlyCheckDue();
}

std::optional<Shell::SteadyTime> Shell::EarlyCheckDue() const {
  return watchOn_ ? early_.due() : std::nullopt;
}

std::optional<Shell::SteadyTime> Shell::RunEarlyCheck(SteadyTime now) {
  const std::optional<SteadyTime> due = early_.due();
  if (!due || !watchOn_) return std::nullopt;
  // A running check is not doubled: what it did not see is checked after it.
  if (checking_) return now + EarlyCheck::kSettle;
  if (now < *due) return due;                                  // a later notification moved it
  CheckPublicIp("系统检测到本机网络地址变动,提前检查公网IP");  // the tick count goes on
  return early_.due();
}

void Shell::CheckPublicIp(std::string_view why) {
  ProgramState& state = s_.state;
  checking_ = true;
  struct Running {
    bool& flag;
    ~Running() { flag = false; }  // an exception must not leave early checks off for good
  } running{checking_};
  early_.Clear();  // this check answers every notification that came before it
  if (!why.empty()) s_.log.WriteLog(std::string(why), true);
  const std::string previous = state.publicIp;
  if (s_.runner.ExecuteCommand(kCommandGetIp)) {
    const bool changed = state.publicIp != previous;
    // A failed update is retried at each check instead of waiting for the next change.
    if (changed || !state.lastUpdateOk) {
      if (changed) {
        s_.log.WriteLog("系统检测到您公网IP变动,新IP=" + state.publicIp + ",尝试自动更新...",
                        false);
      }
      const bool before = state.lastUpdateOk;
      const int failedBefore = state.failedDomains;
      state.lastUpdateOk = s_.runner.ExecuteCommand(kCommandStart);
      s_.log.WriteLog(state.lastUpdateOk ? "更新IP成功" : "更新IP失败", false);
      // The tray must not keep showing an outcome that is no longer true.
      if (state.lastUpdateOk != before || state.failedDomains != failedBefore) {
        tray_.Stop_Connect_status(state.lastUpdateOk, state.failedDomains);
      }
    }
  }
}

}  // namespace quorvix
