// The public-IP watch: every 30th tick of the minute timer asks for the public address and
// updates the domains when it changed, or when the last update failed.
#include "protocol/commands.h"
#include "shell/shell.h"

namespace quorvix {
namespace {

constexpr std::int16_t kTicksPerCheck = 30;

}  // namespace

void Shell::OnWatchTick() {
  ProgramState& state = s_.state;
  if (++state.ipCheckTicks < kTicksPerCheck) return;
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
  state.ipCheckTicks = 0;
}

}  // namespace quorvix
