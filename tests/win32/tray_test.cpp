// The tray program end to end under Wine: its start-up against a scripted service on
// loopback, its log beside the program, its registry values, and a quit from the tray menu.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsock2.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32_text.h"
#include "support/http_reply.h"
#include "support/temp_dir.h"
#include "ui/win32/frm_main.h"

namespace quorvix {
namespace {

using testing::HttpReply;

// Answers each connection by the command in its request, until destroyed.
class ScriptedService {
 public:
  ScriptedService() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {}, {}};
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    EXPECT_TRUE(::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                ::listen(listener_, 8) == 0 &&
                ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0);
    port = ::ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedService() {
    ::closesocket(listener_);  // ends the accept
    thread_.join();
    ::WSACleanup();
  }
  std::vector<std::string> requests() {
    const std::lock_guard lock(mutex_);
    return requests_;
  }
  int port = 0;

 private:
  void Serve() {
    for (SOCKET client; (client = ::accept(listener_, nullptr, nullptr)) != INVALID_SOCKET;) {
      std::string request;
      char buffer[1024];
      for (int got; request.find("\r\n\r\n") == std::string::npos &&
                    (got = ::recv(client, buffer, sizeof buffer, 0)) > 0;) {
        request.append(buffer, static_cast<std::size_t>(got));
      }
      const std::string reply = HttpReply(
          {"RET-CODE: 200", request.find("=GETVER") != std::string::npos ? "Major: 1\r\nMinor: 1"
                            : request.find("=GETIP") != std::string::npos
                                ? "Y-IP: 203.0.113.7"
                                : "RET-DMLIST: a.example.com|200,"});
      ::send(client, reply.data(), static_cast<int>(reply.size()), 0);
      ::closesocket(client);
      const std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
  }

  SOCKET listener_ = INVALID_SOCKET;
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

constexpr char kProgramKey[] = "SOFTWARE\\QuorvixDDNS";
constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string Value(const char* key, const char* name) {
  char buffer[1024] = "<missing>";
  DWORD size = sizeof buffer;
  ::RegGetValueA(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, buffer, &size);
  return buffer;
}

std::string Request(const std::string& pathAndQuery, const std::string& host) {
  return "GET " + pathAndQuery + " HTTP/1.1\r\nHost: " + host +
         "\r\nAccept: */*\r\nPragma: no-cache\r\nConnection: close\r\nReferer: " + host +
         "\r\nUser-Agent: quorvixDDNS/1.1\r\n\r\n";
}

TEST(TrayProgram, StartsUpdatesAndQuitsThroughTheTrayMenu) {
  ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProgramKey);
  ::RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kRunKey, "quorvixDDNS");
  const char domains[] = "a.example.com|p4ss,";
  ASSERT_EQ(::RegSetKeyValueA(HKEY_LOCAL_MACHINE, kProgramKey, "domains", REG_SZ, domains,
                              sizeof domains),
            ERROR_SUCCESS);

  testing::TempDir dir;
  std::string folder = dir.path();
  for (char& c : folder) c = c == '/' ? '\\' : c;
  const std::string program = folder + "\\quorvixDDNS.exe";
  std::string built = QUORVIX_TRAY_BINARY;
  if (built.front() == '/') built = "Z:" + built;  // Wine's drive for the Unix root
  ASSERT_TRUE(::CopyFileA(built.c_str(), program.c_str(), FALSE)) << built;

  ScriptedService service;
  ::SetEnvironmentVariableA("QUORVIX_TEST_PORT", std::to_string(service.port).c_str());
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(::CreateProcessA(nullptr, std::string("\"" + program + "\"").data(), nullptr, nullptr,
                               FALSE, 0, nullptr, folder.c_str(), &startup, &process));
  // Once START has been answered, choose Quit from the tray menu until the program takes it
  // (it ignores Quit while its start-up runs). Bounded: 60 s.
  DWORD waited = WAIT_TIMEOUT;
  for (int round = 0; round < 1200 && waited == WAIT_TIMEOUT; ++round) {
    if (service.requests().size() >= 3) {
      ::PostMessageW(::FindWindowA(win32::kMainClassName, nullptr), WM_COMMAND, win32::kMnuTrayQuit,
                     0);
    }
    waited = ::WaitForSingleObject(process.hProcess, 50);
  }
  DWORD exitCode = 99;
  if (waited == WAIT_TIMEOUT) ::TerminateProcess(process.hProcess, exitCode);
  ::GetExitCodeProcess(process.hProcess, &exitCode);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  EXPECT_EQ(exitCode, 0u) << "the program did not quit cleanly";

  EXPECT_EQ(service.requests(),
            (std::vector<std::string>{
                Request("/quorvixDDNS_GETUserIp.asp?Command=GETVER&glbMX=True&", "ip.quorvix.com"),
                Request("/quorvixDDNS_GETUserIp.asp?Command=GETIP&glbMX=True&", "ip.quorvix.com"),
                Request("/QUORVIXDDNS/quorvixDDNS_server.asp?Command=START&glbMX=True&DomainList="
                        "a.example.com|60D46B537502571926F7552BFF654533,",
                        "ddns.quorvix.com")}));

  // The log beside the program, in the ANSI code page: time stamp, tab, message.
  const std::string log = platform::FromCodePage(testing::ReadFile(dir / "quorvixDDNS.log"), 936);
  std::vector<std::string> messages;
  for (std::size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2) {
    const std::size_t tab = log.find('\t', at);
    messages.push_back(tab < end ? log.substr(tab + 1, end - tab - 1) : "<no time stamp>");
  }
  ASSERT_GE(messages.size(), 3u) << log;
  EXPECT_EQ(messages.front(), "quorvixDDNS(ver1.1)启动!");
  EXPECT_NE(std::find(messages.begin(), messages.end(), "尝试第1次更新域名解析"), messages.end());
  EXPECT_EQ(std::find(messages.begin(), messages.end(), "尝试第2次更新域名解析"), messages.end());
  EXPECT_EQ(messages.back(), "quorvixDDNS(ver1.1)停止!");

  // The first run marked done, the defaults stored, the list kept, the Run entry made.
  EXPECT_EQ(Value(kProgramKey, "glbFirstRun"), "false");
  EXPECT_EQ(Value(kProgramKey, "domains"), domains);
  EXPECT_EQ(Value(kRunKey, "quorvixDDNS"), program);
  ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProgramKey);
  ::RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kRunKey, "quorvixDDNS");
}

}  // namespace
}  // namespace quorvix
