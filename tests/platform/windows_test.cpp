// What only Windows has: the registry store, Winsock, the module path, the named mutex. Run
// under Wine with the Chinese ANSI code page (LC_ALL=zh_CN.UTF-8 gives code page 936).
#include <gtest/gtest.h>
#include <windows.h>
#include <winsock2.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <tuple>

#include "net/socket_client.h"
#include "platform/instance_lock.h"
#include "platform/program_paths.h"
#include "platform/settings_backend_win32.h"
#include "settings/event_log.h"
#include "settings/store.h"
#include "support/fake_clock.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"

namespace quorvix {
namespace {

using platform::RegistryHives;
using platform::RegistrySettingsBackend;
using testing::FakeDesktop;

// A private key under the user's hive for each test, removed afterwards.
class RegistryTest : public ::testing::Test {
 protected:
  ~RegistryTest() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str()); }

  // The bytes of a REG_SZ value, as the A functions store them, without the terminator.
  std::string RawValue(const std::string& key, const std::string& name) {
    char buffer[4096] = {};
    DWORD size = sizeof buffer;
    return ::RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr,
                          buffer, &size) == ERROR_SUCCESS
               ? std::string(buffer, size > 0 ? size - 1 : 0)
               : "<missing>";
  }

  const std::string base_ = "SOFTWARE\\QuorvixDDNS-test-" +
                            std::to_string(::GetCurrentProcessId()) + "-" +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name();
  RegistryHives hives_{HKEY_CURRENT_USER, base_ + "\\Program", base_ + "\\Run"};
  RegistrySettingsBackend backend_{hives_};
  FakeDesktop desktop_;
  SettingsStore store_{backend_, desktop_, {"C:\\Q", "quorvixDDNS"}, "log"};
};

// Two bytes a character in code page 936: 511 Chinese characters fit the buffer, 512 do not.
TEST_F(RegistryTest, ValuesReadBackThroughTheThousandTwentyFourByteBuffer) {
  std::string chinese;
  for (int i = 0; i < 511; ++i) chinese += "域";
  const std::pair<std::string, std::string> cases[] = {
      {std::string(1023, 'a'), std::string(1023, 'a')},
      {std::string(1024, 'a'), ""},
      {"x", "x"},
      {chinese, chinese},
      {chinese + "域", ""},
      {"域名密码", "域名密码"}};
  for (const auto& [text, expected] : cases) {
    ASSERT_TRUE(store_.WriteSetting("domains", text));
    EXPECT_EQ(store_.ReadSetting("domains"), expected) << text.size();
  }
  EXPECT_EQ(RawValue(hives_.programKey, "domains"), "\xD3\xF2\xC3\xFB\xC3\xDC\xC2\xEB");
  EXPECT_EQ(store_.ReadSetting("missing"), "");
  EXPECT_TRUE(desktop_.messages.empty());
}

TEST_F(RegistryTest, FirstRunDefaultsAndTheRunEntry) {
  ProgramState state;
  store_.LoadSettings(state);
  EXPECT_TRUE(state.glbAutoRun && state.glbMX && state.glbFirstRun);
  EXPECT_FALSE(state.glbLogVerbose || state.hasDomains);
  EXPECT_EQ(RawValue(hives_.programKey, "glbFirstRun"), "false");

  // One trailing backslash removed, no quotes; a root keeps its own.
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\Program Files\\Q\\", "C:\\Program Files\\Q\\quorvixDDNS.exe"},
      {"C:\\", "C:\\quorvixDDNS.exe"}};
  for (const auto& [folder, command] : cases) {
    SettingsStore store(backend_, desktop_, {folder, "quorvixDDNS"}, "log");
    ASSERT_TRUE(store.SetAutoRun(true));
    EXPECT_EQ(RawValue(hives_.runKey, "quorvixDDNS"), command);
    ASSERT_TRUE(store.SetAutoRun(false));
    EXPECT_EQ(RawValue(hives_.runKey, "quorvixDDNS"), "<missing>");
    EXPECT_FALSE(store.SetAutoRun(false));  // nothing left to delete
  }
}

TEST_F(RegistryTest, AKeyThatCannotBeOpenedEndsTheProgram) {
  RegistrySettingsBackend backend({reinterpret_cast<void*>(std::uintptr_t{0x7654321})});
  SettingsStore store(backend, desktop_, {"C:\\Q", "quorvixDDNS"}, "log");  // no such root
  EXPECT_EQ(store.ReadSetting("domains"), "");
  EXPECT_EQ(desktop_.calls, (std::vector<std::string>{"message:打开注册表失败", "end process"}));
  EXPECT_EQ(desktop_.messages.at(0).title, "系统错误");
  EXPECT_FALSE(store.WriteSetting("domains", "x"));
  EXPECT_FALSE(store.SetAutoRun(true));
}

// The machine's hive only when it is writable; both use the same paths.
TEST(RegistryHivesTest, TheUserHiveWhenTheMachineHiveIsNotWritable) {
  const RegistryHives user = RegistryHives::Choose([] { return false; });
  EXPECT_EQ(user.root, static_cast<void*>(HKEY_CURRENT_USER));
  EXPECT_EQ(user.programKey, "SOFTWARE\\QuorvixDDNS");
  EXPECT_EQ(user.runKey, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  EXPECT_EQ(RegistryHives::Choose([] { return true; }).root,
            static_cast<void*>(HKEY_LOCAL_MACHINE));
}

TEST(ModulePath, TheTestProgramItself) {
  const platform::ProgramLocation here = platform::CurrentProgramLocation();
  EXPECT_EQ(here.baseName, "windows_test");
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(here.folder + "\\windows_test.exe")));
  // Beside the program when its folder is writable; a drive root gets two backslashes.
  EXPECT_EQ(platform::DefaultLogFilePath(here), here.folder + "\\quorvixDDNS.log");
  EXPECT_EQ(platform::DefaultLogFilePath({"C:\\", "quorvixDDNS"}), "C:\\\\quorvixDDNS.log");
}

TEST(InstanceLockTest, TheSecondHolderSeesThePrevious) {
  const std::string name = "quorvix-test-" + std::to_string(::GetCurrentProcessId());
  const platform::InstanceLock first(name);
  EXPECT_FALSE(first.previousInstance());
  EXPECT_TRUE(platform::InstanceLock(name).previousInstance());
}

// A one-connection Winsock server on 127.0.0.1: answers with `reply`, or with an empty one
// stays silent until the client gives up.
class TinyServer {
 public:
  explicit TinyServer(std::string reply) {
    WSADATA data{};
    ::WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listener_, 1);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, reply = std::move(reply)] {
      const SOCKET client = ::accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) return;
      char buffer[4096];
      ::recv(client, buffer, sizeof buffer, 0);
      if (reply.empty()) ::recv(client, buffer, sizeof buffer, 0);
      ::send(client, reply.data(), static_cast<int>(reply.size()), 0);
      ::closesocket(client);
    });
  }
  ~TinyServer() {
    ::closesocket(listener_);
    thread_.join();
    ::WSACleanup();
  }
  std::uint16_t port() const { return port_; }

 private:
  SOCKET listener_;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

// A whole reply longer than one read, a refused connection (the server closed before), a
// silent server: what the client receives and what it logs.
TEST(Winsock, ExchangeRefusalAndTimeout) {
  std::string big = "HTTP/1.1 200 OK\r\nRET-CODE: 200\r\n";
  for (int i = 0; big.size() < 5000; ++i) big += "X-Pad-" + std::to_string(i) + ": abc\r\n";
  big += "\r\n";
  // The server's reply, whether it still listens, the wait, what arrives, a piece of the log.
  const std::tuple<std::string, bool, std::chrono::milliseconds, std::string, std::string> cases[] =
      {{big, true, std::chrono::seconds(10), big,
        "\tSocket close...\r\n2008-6-12 14:05:09\tconnection terminal.\r\n"},
       {"", false, std::chrono::seconds(10), "<none>", "\tconnect error,ErrorInfo:10061\r\n"},
       {"", true, std::chrono::milliseconds(150), "", "\tSocket Time out,Time=120\r\n"}};
  testing::TempDir dir;
  ProgramState state;
  state.glbLogVerbose = true;
  state.logFilePath = dir / "q.log";
  FakeDesktop desktop;
  testing::FakeClock clock;
  EventLog log(state, desktop, clock);
  for (const auto& [reply, listening, wait, expected, logged] : cases) {
    auto server = std::make_unique<TinyServer>(reply);
    const std::uint16_t port = server->port();
    if (!listening) server.reset();
    SocketLimits limits;
    limits.replyWait = wait;
    SocketClient client(log, limits);
    std::string received = "<none>";
    if (client.SockConnect("127.0.0.1", port)) {
      EXPECT_GT(client.SockSend("GET / HTTP/1.1\r\n\r\n"), 0);
      received = client.SockReceive();
      client.SockClose();
    }
    EXPECT_EQ(received, expected);
    const std::string file = testing::ReadFile(state.logFilePath);  // one log for all
    EXPECT_NE(file.find(logged), std::string::npos) << file;
  }
}

}  // namespace
}  // namespace quorvix
