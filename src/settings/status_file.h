// The client's last known state, for `quorvixddnsd status`: the public address last seen and
// each domain's last result, with their times. A small text file beside the event log, written
// by both programs after each exchange and replaced whole, so a reader never sees half of it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvix {

struct DomainStatus {
  std::string domain;
  std::string command;  // START or STOP
  bool ok = false;
  std::string result;  // the service's result text
  std::string time;    // as the log writes it
};

struct ClientStatus {
  std::string publicIp;
  std::string publicIpTime;
  std::string lastCommand;  // the last START or STOP, and how it ended
  bool lastCommandOk = false;
  std::string lastCommandTime;
  std::vector<DomainStatus> domains;

  // The domain's entry (names compared without regard to letter case), or null.
  const DomainStatus* Find(std::string_view domain) const;

  // Replaces the domain's entry or adds one.
  void Record(DomainStatus status);
};

// Reads the file; a missing or damaged file gives what could be read (lines that do not parse
// are skipped).
ClientStatus ReadClientStatus(const std::string& path);

// Replaces the file; false when it could not be written.
bool WriteClientStatus(const std::string& path, const ClientStatus& status);

// The file's path beside the event log's file.
std::string StatusFilePathBeside(std::string_view logFilePath);

}  // namespace quorvix
