#include "net/socket_client.h"

#include <algorithm>

#include "net/dotted_address.h"
#include "platform/codepage.h"

namespace quorvix {
namespace {

constexpr std::size_t kReceiveChunk = 1024;
constexpr std::size_t kHostNameBuffer = 255;

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

}  // namespace

SocketClient::SocketClient(LogSink& log, SocketLimits limits, Lookup lookup)
    : log_(log), limits_(limits), lookup_(std::move(lookup)) {}

SocketClient::~SocketClient() {
  if (activeSocket_ >= 0) Release();
}

void SocketClient::Release() {
  platform::ShutdownSocket(activeSocket_);
  platform::CloseSocket(activeSocket_);
  activeSocket_ = platform::kNoSocket;
  platform::SocketLibraryCleanup();
}

bool SocketClient::SockConnect(const std::string& host, std::uint16_t port) {
  if (const int error = platform::SocketLibraryStart(); error != 0) {
    Log("WSAStartUp error,ErrorInfo:" + std::to_string(error));
    return false;
  }
  activeSocket_ = platform::CreateTcpSocket();
  if (activeSocket_ < 0) {
    Log("socket error,ErrorInfo:" + std::to_string(platform::LastSocketError()));
    activeSocket_ = platform::kNoSocket;
    platform::SocketLibraryCleanup();
    return false;
  }
  const std::string address = IsDottedAddress(host) ? host : ResolveHost(host);
  if (address.empty()) {
    SockClose();
    return false;
  }
  if (platform::ConnectIpv4(activeSocket_, address, port) != 0) {
    Log("connect error,ErrorInfo:" + std::to_string(platform::LastSocketError()));
    Release();  // the caller does not close after a failed connect
    return false;
  }
  return true;
}

std::int32_t SocketClient::SockSend(std::string_view text) {
  const std::string bytes = platform::EncodeCp936(text).bytes;
  return static_cast<std::int32_t>(platform::SendBytes(activeSocket_, bytes.data(), bytes.size()));
}

bool SocketClient::WaitReadable() { return WaitReadable(limits_.replyWait); }

bool SocketClient::WaitReadable(std::chrono::milliseconds wait) {
  bool readable = false;
  const int ready = platform::WaitForSocket(activeSocket_, wait, readable);
  if (ready == -1) {
    Log("Socket error." + std::to_string(platform::LastSocketError()));
    return false;
  }
  if (ready == 0) {
    Log("Socket Time out,Time=" + std::to_string(kReplyWaitSeconds));
    return false;
  }
  if (readable) return true;
  Log("select detect a error");
  return false;
}

std::string SocketClient::SockReceive() {
  std::string bytes;
  // One limit for the whole exchange: the wait for the first bytes counts against it, so a
  // late first byte followed by a slow drip cannot hold the program twice as long.
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + limits_.readLimit;
  if (!WaitReadable(std::min(limits_.replyWait, limits_.readLimit))) return bytes;
  char chunk[kReceiveChunk];
  long received = 0;
  for (;;) {
    const std::size_t room = std::min(sizeof chunk, limits_.maxReplyBytes - bytes.size());
    received = platform::ReceiveBytes(activeSocket_, chunk, room);
    if (received <= 0) break;
    bytes.append(chunk, static_cast<std::size_t>(received));
    if (bytes.size() >= limits_.maxReplyBytes) {
      Log("Socket reply too long,Limit=" + std::to_string(limits_.maxReplyBytes));
      return platform::DecodeCp936(bytes);
    }
    // Never block on a receive past the overall limit.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    bool readable = false;
    const int ready = left.count() > 0 ? platform::WaitForSocket(activeSocket_, left, readable) : 0;
    if (ready == 0) {
      Log("Socket read time out,Time=" + std::to_string(kReadLimitSeconds));
      return platform::DecodeCp936(bytes);
    }
    if (ready < 0) {
      received = -1;
      break;
    }
    if (!readable) {
      Log("select detect a error");
      return platform::DecodeCp936(bytes);
    }
  }
  if (received < 0) {
    Log("ERROR:" + std::to_string(platform::LastSocketError()));
  } else {
    Log("Socket close...");
  }
  return platform::DecodeCp936(bytes);
}

void SocketClient::SockClose() {
  if (activeSocket_ >= 0) {
    Release();
  } else {
    platform::SocketLibraryCleanup();
  }
  Log("connection terminal.");
}

std::string SocketClient::ResolveHost(const std::string& name) {
  const std::vector<std::string> addresses = lookup_(name);
  if (addresses.empty()) {
    Log("域名" + name + "解析失败");
    return {};
  }
  return addresses.front();
}

std::string SocketClient::LocalAddress() {
  char buffer[kHostNameBuffer + 1] = {};
  if (platform::LocalHostName(buffer, kHostNameBuffer) == -1) {
    Log("获取本机名失败");
    return {};
  }
  const std::string address = ResolveHost(Trimmed(buffer));
  Log("本机IP地址:" + address);
  return address;
}

}  // namespace quorvix
