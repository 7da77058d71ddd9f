#include "settings/status_file.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "settings/domain_list.h"

namespace quorvix {
namespace {

// Fields are separated by TABs; a field never holds a TAB or a line end.
std::string Field(std::string_view text) {
  std::string field(text);
  std::replace_if(
      field.begin(), field.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return field;
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(
        line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

}  // namespace

const DomainStatus* ClientStatus::Find(std::string_view domain) const {
  for (const DomainStatus& known : domains) {
    if (SameDomainName(known.domain, domain)) return &known;
  }
  return nullptr;
}

void ClientStatus::Record(DomainStatus status) {
  if (const DomainStatus* known = Find(status.domain)) {
    domains[static_cast<std::size_t>(known - domains.data())] = std::move(status);
  } else {
    domains.push_back(std::move(status));
  }
}

ClientStatus ReadClientStatus(const std::string& path) {
  ClientStatus status;
  std::ifstream file(path, std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    const std::vector<std::string> f = Split(platform::FromPlatformText(line));
    if (f[0] == "ip" && f.size() == 3) {
      status.publicIp = f[1];
      status.publicIpTime = f[2];
    } else if (f[0] == "command" && f.size() == 4) {
      status.lastCommand = f[1];
      status.lastCommandOk = f[2] == "ok";
      status.lastCommandTime = f[3];
    } else if (f[0] == "domain" && f.size() == 6) {
      status.domains.push_back({f[1], f[2], f[3] == "ok", f[4], f[5]});
    }
  }
  return status;
}

bool WriteClientStatus(const std::string& path, const ClientStatus& status) {
  std::ostringstream text;
  if (!status.publicIp.empty()) {
    text << "ip\t" << Field(status.publicIp) << "\t" << Field(status.publicIpTime) << "\n";
  }
  if (!status.lastCommand.empty()) {
    text << "command\t" << Field(status.lastCommand) << "\t"
         << (status.lastCommandOk ? "ok" : "failed") << "\t" << Field(status.lastCommandTime)
         << "\n";
  }
  for (const DomainStatus& domain : status.domains) {
    text << "domain\t" << Field(domain.domain) << "\t" << Field(domain.command) << "\t"
         << (domain.ok ? "ok" : "failed") << "\t" << Field(domain.result) << "\t"
         << Field(domain.time) << "\n";
  }
  const std::string folder = path.substr(0, path.find_last_of("/\\") + 1);
  if (!folder.empty()) platform::CreateFolders(folder, 0700);
  return !platform::ReplaceFileAtomically(path, platform::ToPlatformText(text.str()), 0600);
}

std::string StatusFilePathBeside(std::string_view logFilePath) {
  const std::size_t cut = logFilePath.find_last_of("/\\");
  const std::string folder =
      cut == std::string_view::npos ? std::string() : std::string(logFilePath.substr(0, cut + 1));
  return folder + "quorvixDDNS.status";
}

}  // namespace quorvix
