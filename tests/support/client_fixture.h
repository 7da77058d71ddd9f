// A CommandRunner wired as the program wires it, with its settings in a temporary folder and a
// name lookup that sends both service hosts to 127.0.0.1: a ScriptServer on an ephemeral port
// stands in for the service and no test asks DNS anything.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/socket_client.h"
#include "platform/settings_backend_posix.h"
#include "protocol/command_runner.h"
#include "settings/store.h"
#include "support/log_recorder.h"
#include "support/script_server.h"
#include "support/temp_dir.h"

namespace quorvix::testing {

// Every other name (the machine's own host name) resolves to 10.1.2.3.
inline std::vector<std::string> LoopbackLookup(const std::string& name) {
  if (name == "ddns.quorvix.com" || name == "ip.quorvix.com") return {"127.0.0.1"};
  return {"10.1.2.3"};
}

// The GETIP request, byte for byte.
inline const std::string kGetIpRequest =
    "GET /quorvixDDNS_GETUserIp.asp?Command=GETIP&glbMX=False& HTTP/1.1\r\n"
    "Host: ip.quorvix.com\r\nAccept: */*\r\nPragma: no-cache\r\nConnection: close\r\n"
    "Referer: ip.quorvix.com\r\nUser-Agent: quorvixDDNS/1.1\r\n\r\n";

struct ClientFixture {
  // Waits long enough for a loaded machine; only tests of a silent server shorten them.
  explicit ClientFixture(std::uint16_t port = 80,
                         SocketLimits limits = {std::chrono::seconds(10), std::chrono::seconds(10)})
      : socket(recorder.log(), limits, LoopbackLookup),
        runner(state, store, recorder.log(), socket,
               ServiceEndpoints{"ddns.quorvix.com", "ip.quorvix.com", port}) {}

  // Stores the list and sets hasDomains as loading the settings would.
  void StoreDomains(std::string_view list) {
    if (!store.WriteSetting(kSettingDomains, list)) ADD_FAILURE() << "cannot store " << list;
    state.hasDomains = list.find(',') != std::string_view::npos;
  }

  ProgramState state;
  LogRecorder recorder{state};
  TempDir dir;
  platform::PosixSettingsBackend backend{{dir / "quorvixDDNS", dir / "autostart"}};
  SettingsStore store{
      backend, recorder.desktop(), {"/opt/q", "quorvixDDNS"}, dir / "quorvixDDNS.log"};
  SocketClient socket;
  CommandRunner runner;
};

}  // namespace quorvix::testing
