// What only Windows has: the registry store, Winsock, the module path, the named mutex. Run
// under Wine with the Chinese ANSI code page (LC_ALL=zh_CN.UTF-8 gives code page 936).
#include <gtest/gtest.h>
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <filesystem>
#include <string>
#include <thread>

#include "net/socket_client.h"
#include "platform/files.h"
#include "platform/instance_lock.h"
#include "platform/program_paths.h"
#include "platform/settings_backend_win32.h"
#include "platform/sockets.h"
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
  RegistryTest() {
    hives_.root = HKEY_CURRENT_USER;
    const std::string base = "SOFTWARE\\QuorvixDDNS-test-" +
                             std::to_string(::GetCurrentProcessId()) + "-" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    hives_.programKey = base + "\\Program";
    hives_.runKey = base + "\\Run";
    base_ = base;
  }
  ~RegistryTest() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str()); }

  // The raw bytes of a value, as the A functions store them.
  std::string RawValue(const std::string& key, const std::string& name) {
    char buffer[4096] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    if (::RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY, &type, buffer,
                       &size) != ERROR_SUCCESS) {
      return "<missing>";
    }
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    return std::string(buffer, size > 0 ? size - 1 : 0);  // without the terminator
  }

  RegistryHives hives_;
  std::string base_;
  FakeDesktop desktop_;
  RegistrySettingsBackend backend_{hives_};
};

TEST_F(RegistryTest, ValuesReadBackThroughTheThousandTwentyFourByteBuffer) {
  RegistrySettingsBackend backend(hives_);
  SettingsStore store(backend, desktop_, {"C:\\Q", "quorvixDDNS"}, "C:\\Q\\quorvixDDNS.log");
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {std::string(1023, 'a'), std::string(1023, 'a')},
      {std::string(1024, 'a'), ""},
      {std::string(5000, 'a'), ""},
      {"", ""},  // one byte with its terminator: below two
      {"x", "x"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(store.WriteSetting("domains", c.text));
    EXPECT_EQ(store.ReadSetting("domains"), c.expected) << c.text.size();
  }
  EXPECT_EQ(store.ReadSetting("missing"), "");
  EXPECT_TRUE(desktop_.messages.empty());
}

TEST_F(RegistryTest, ChineseTextIsStoredInCodePage936) {
  RegistrySettingsBackend backend(hives_);
  SettingsStore store(backend, desktop_, {"C:\\Q", "quorvixDDNS"}, "log");
  ASSERT_TRUE(store.WriteSetting("domains", "域名密码"));
  EXPECT_EQ(RawValue(hives_.programKey, "domains"), "\xD3\xF2\xC3\xFB\xC3\xDC\xC2\xEB");
  EXPECT_EQ(store.ReadSetting("domains"), "域名密码");
  // Two bytes a character: 511 characters fit the buffer, 512 do not.
  std::string fits;
  for (int i = 0; i < 511; ++i) fits += "域";
  ASSERT_TRUE(store.WriteSetting("domains", fits));
  EXPECT_EQ(store.ReadSetting("domains"), fits);
  ASSERT_TRUE(store.WriteSetting("domains", fits + "域"));
  EXPECT_EQ(store.ReadSetting("domains"), "");
}

TEST_F(RegistryTest, FirstRunDefaultsAndTheRunEntry) {
  RegistrySettingsBackend backend(hives_);
  SettingsStore store(backend, desktop_, {"C:\\Program Files\\Q\\", "quorvixDDNS"}, "log");
  ProgramState state;
  store.LoadSettings(state);
  EXPECT_TRUE(state.glbAutoRun && state.glbMX && state.glbFirstRun);
  EXPECT_FALSE(state.glbLogVerbose || state.hasDomains);
  EXPECT_EQ(RawValue(hives_.programKey, "glbFirstRun"), "false");

  // One trailing backslash removed, no quotes.
  ASSERT_TRUE(store.SetAutoRun(true));
  EXPECT_EQ(RawValue(hives_.runKey, "quorvixDDNS"), "C:\\Program Files\\Q\\quorvixDDNS.exe");
  ASSERT_TRUE(store.SetAutoRun(false));
  EXPECT_EQ(RawValue(hives_.runKey, "quorvixDDNS"), "<missing>");
  EXPECT_FALSE(store.SetAutoRun(false));  // nothing left to delete
}

TEST_F(RegistryTest, ARootFolderKeepsOneBackslashInTheRunEntry) {
  RegistrySettingsBackend backend(hives_);
  SettingsStore store(backend, desktop_, {"C:\\", "quorvixDDNS"}, "log");
  ASSERT_TRUE(store.SetAutoRun(true));
  EXPECT_EQ(RawValue(hives_.runKey, "quorvixDDNS"), "C:\\quorvixDDNS.exe");
}

TEST_F(RegistryTest, AKeyThatCannotBeOpenedEndsTheProgram) {
  RegistryHives broken = hives_;
  broken.root = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x7654321));  // no such key
  RegistrySettingsBackend backend(broken);
  SettingsStore store(backend, desktop_, {"C:\\Q", "quorvixDDNS"}, "log");
  EXPECT_EQ(store.ReadSetting("domains"), "");
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].text, "打开注册表失败");
  EXPECT_EQ(desktop_.messages[0].title, "系统错误");
  EXPECT_EQ(desktop_.endProcessCalls, 1);
  EXPECT_FALSE(store.WriteSetting("domains", "x"));
  EXPECT_FALSE(store.SetAutoRun(true));
}

TEST(RegistryHivesTest, TheUserHiveWhenTheMachineHiveIsNotWritable) {
  EXPECT_EQ(RegistryHives::Choose([] { return false; }).root,
            static_cast<void*>(HKEY_CURRENT_USER));
  EXPECT_EQ(RegistryHives::Choose([] { return true; }).root,
            static_cast<void*>(HKEY_LOCAL_MACHINE));
  // Both hives use the same paths.
  const RegistryHives user = RegistryHives::Choose([] { return false; });
  EXPECT_EQ(user.programKey, "SOFTWARE\\QuorvixDDNS");
  EXPECT_EQ(user.runKey, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
}

TEST(ModulePath, TheTestProgramItself) {
  const platform::ProgramLocation here = platform::CurrentProgramLocation();
  EXPECT_EQ(here.baseName, "windows_test");
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(here.folder + "\\windows_test.exe")));
  EXPECT_EQ(platform::AutoRunCommand({"C:\\", "quorvixDDNS"}), "C:\\quorvixDDNS.exe");
  EXPECT_EQ(platform::AutoRunCommand({"C:\\Q", "quorvixDDNS"}), "C:\\Q\\quorvixDDNS.exe");
  // Beside the program when its folder is writable; a drive root gets two backslashes.
  EXPECT_EQ(platform::DefaultLogFilePath(here), here.folder + "\\quorvixDDNS.log");
  EXPECT_EQ(platform::DefaultLogFilePath({"C:\\", "quorvixDDNS"}), "C:\\\\quorvixDDNS.log");
}

TEST(InstanceLockTest, TheSecondHolderSeesThePrevious) {
  const std::string name = "quorvix-test-" + std::to_string(::GetCurrentProcessId());
  const platform::InstanceLock first(name);
  EXPECT_FALSE(first.previousInstance());
  const platform::InstanceLock second(name);
  EXPECT_TRUE(second.previousInstance());
}

TEST(PlatformText, TheAnsiCodePageIs936) {
  EXPECT_EQ(platform::ToPlatformText("中文"), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(platform::FromPlatformText("\xD6\xD0\xCE\xC4"), "中文");
}

// A one-connection Winsock server on 127.0.0.1: answers with `reply`, or stays silent.
class TinyServer {
 public:
  explicit TinyServer(std::string reply, bool answer = true) {
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
    thread_ = std::thread([this, reply = std::move(reply), answer] {
      const SOCKET client = ::accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) return;
      char buffer[4096];
      ::recv(client, buffer, sizeof buffer, 0);
      if (answer) {
        ::send(client, reply.data(), static_cast<int>(reply.size()), 0);
      } else {
        ::recv(client, buffer, sizeof buffer, 0);  // until the client gives up
      }
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

class WinsockTest : public ::testing::Test {
 protected:
  WinsockTest() {
    state_.glbLogVerbose = true;
    state_.logFilePath = dir_ / "q.log";
    log_.SetLineObserver(
        [this](std::string_view line) { lines_.emplace_back(line.substr(line.find('\t') + 1)); });
  }
  bool Logged(const std::string& line) const {
    return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
  }

  testing::TempDir dir_;
  ProgramState state_;
  FakeDesktop desktop_;
  testing::FakeClock clock_;
  EventLog log_{state_, desktop_, clock_};
  std::vector<std::string> lines_;
};

TEST_F(WinsockTest, AWholeReplyLongerThanOneReadArrivesInOrder) {
  std::string reply = "HTTP/1.1 200 OK\r\nRET-CODE: 200\r\n";
  for (int i = 0; reply.size() < 5000; ++i) reply += "X-Pad-" + std::to_string(i) + ": abc\r\n";
  reply += "\r\n";
  TinyServer server(reply);
  SocketClient client(log_);
  ASSERT_TRUE(client.SockConnect("127.0.0.1", server.port()));
  EXPECT_GT(client.SockSend("GET / HTTP/1.1\r\n\r\n"), 0);
  EXPECT_EQ(client.SockReceive(), reply);
  client.SockClose();
  EXPECT_TRUE(Logged("Socket close..."));
  EXPECT_TRUE(Logged("connection terminal."));
}

TEST_F(WinsockTest, ARefusedConnectionLogsTheWinsockCode) {
  std::uint16_t port = 0;
  {
    TinyServer closed("", false);
    port = closed.port();
  }
  SocketClient client(log_);
  EXPECT_FALSE(client.SockConnect("127.0.0.1", port));
  EXPECT_TRUE(Logged("connect error,ErrorInfo:10061")) << (lines_.empty() ? "" : lines_.back());
}

TEST_F(WinsockTest, ASilentServerTimesOut) {
  TinyServer server("", false);
  SocketLimits limits;
  limits.replyWait = std::chrono::milliseconds(150);
  SocketClient client(log_, limits);
  ASSERT_TRUE(client.SockConnect("127.0.0.1", server.port()));
  EXPECT_GT(client.SockSend("GET / HTTP/1.1\r\n\r\n"), 0);
  EXPECT_EQ(client.SockReceive(), "");
  client.SockClose();
  EXPECT_TRUE(Logged("Socket Time out,Time=120"));
}

TEST(WinsockStart, VersionOneOneStarts) {
  EXPECT_EQ(platform::SocketLibraryStart(), 0);
  platform::SocketLibraryCleanup();
}

}  // namespace
}  // namespace quorvix
