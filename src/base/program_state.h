// The program-wide state: each item exists once for the whole run and is touched only by the
// user-interface thread. One object, owned by the running program, so tests can make their own.
#pragma once

#include <cstdint>
#include <string>

namespace quorvix {

struct ProgramState {
  std::string publicIp;          // the Y-IP of the last successful GETIP
  std::string localIp;           // the machine's own address, refreshed by every sent GETIP
  std::int16_t serverMajor = 0;  // the newest version reported by GETVER
  std::int16_t serverMinor = 0;
  bool glbAutoRun = false;        // start with the system (loaded from the store)
  bool glbMX = false;             // also resolve the MX record
  bool glbFirstRun = false;       // first run on this machine
  bool glbLogVerbose = false;     // write verbose-only log lines too
  bool hasDomains = false;        // the stored domain list holds an entry
  std::string logFilePath;        // the event log's file
  bool lastUpdateOk = false;      // outcome of the last START or STOP sent
  int failedDomains = 0;          // domains the last START reply listed as failed
  bool setupWaiting = false;      // the start-up waits for the settings dialog
  std::int16_t ipCheckTicks = 0;  // ticks of the public-IP watch
};

}  // namespace quorvix
