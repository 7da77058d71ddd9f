// Start-up loading of every setting with its default.
#include "settings/store.h"

namespace quorvix {

void SettingsStore::LoadSettings(ProgramState& state, bool markFirstRun) {
  backend_.RemoveStaleTemporaries();
  const std::string autoRun = ReadSetting(kSettingAutoRun);
  const std::string mx = ReadSetting(kSettingMX);
  const std::string firstRun = ReadSetting(kSettingFirstRun);
  const std::string logVerbose = ReadSetting(kSettingLogVerbose);
  const std::string domains = ReadSetting(kSettingDomains);

  // Only the exact words count: "False" or "TRUE" mean the default.
  state.glbAutoRun = autoRun != kFalseWord;
  state.glbMX = mx != kFalseWord;
  if (firstRun == kFalseWord) {
    state.glbFirstRun = false;
  } else {
    state.glbFirstRun = true;
    // Detected once per machine; the result is ignored.
    if (markFirstRun) WriteSetting(kSettingFirstRun, kFalseWord);
  }
  state.glbLogVerbose = logVerbose == kTrueWord;
  // Every entry of the list ends with ",", so a comma means at least one domain.
  state.hasDomains = domains.find(',') != std::string::npos;
  state.logFilePath = logFilePath_;
}

}  // namespace quorvix
