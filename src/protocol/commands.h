// The four commands of the service, compared exactly, letter case included.
#pragma once

#include <string_view>

namespace quorvix {

inline constexpr std::string_view kCommandStart = "START";
inline constexpr std::string_view kCommandStop = "STOP";
inline constexpr std::string_view kCommandGetIp = "GETIP";
inline constexpr std::string_view kCommandGetVer = "GETVER";

// The update server's path (START, STOP) and the information server's (GETIP, GETVER).
inline constexpr std::string_view kUpdatePath = "/QUORVIXDDNS/quorvixDDNS_server.asp";
inline constexpr std::string_view kInfoPath = "/quorvixDDNS_GETUserIp.asp";

// The key signed with every domain and its password.
inline constexpr std::string_view kSigningKey = "TQ59WM37hd";

inline bool IsUpdateCommand(std::string_view command) {
  return command == kCommandStart || command == kCommandStop;
}
inline bool IsInfoCommand(std::string_view command) {
  return command == kCommandGetIp || command == kCommandGetVer;
}

}  // namespace quorvix
