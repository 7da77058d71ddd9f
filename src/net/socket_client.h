// A small blocking TCP client: one IPv4 connection at a time to a host name and port, one
// request sent, the reply read until the server closes, everything closed again. Every event
// goes to the event log as a verbose line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/log_sink.h"
#include "platform/sockets.h"

namespace quorvix {

struct SocketLimits {
  // How long the first bytes of a reply may take.
  std::chrono::milliseconds replyWait{std::chrono::seconds(120)};
  // How long the whole exchange may take, from the request sent to the end of the reply, the
  // wait for its first bytes included: a server that keeps the connection open after its
  // reply, or drips it, cannot hold the program longer than this.
  std::chrono::milliseconds readLimit{std::chrono::seconds(120)};
  // The most a reply may hold; a server cannot flood the program's memory.
  std::size_t maxReplyBytes = 1024 * 1024;
};

// The waits the log lines name. They are the program's own; tests shorten the waits
// themselves through SocketLimits, not what the lines say.
inline constexpr int kReplyWaitSeconds = 120;
inline constexpr int kReadLimitSeconds = 120;

class SocketClient {
 public:
  using Lookup = std::function<std::vector<std::string>(const std::string& name)>;

  // `lookup` resolves host names (every IPv4 address, in order); the platform's resolver by
  // default. `log` must outlive the client.
  explicit SocketClient(LogSink& log, SocketLimits limits = {},
                        Lookup lookup = platform::LookupIpv4);
  ~SocketClient();
  SocketClient(const SocketClient&) = delete;
  SocketClient& operator=(const SocketClient&) = delete;

  // True when a connection to the host stands. A failed attempt leaves nothing open.
  bool SockConnect(const std::string& host, std::uint16_t port);

  // Sends the text in code page 936 with one send call; the count it returned, negative on
  // error.
  std::int32_t SockSend(std::string_view text);

  // The whole reply, decoded from code page 936; empty when nothing arrived. Bytes that arrived
  // before an error, a time limit or the size cap are kept.
  std::string SockReceive();

  // Ends the connection and cleans up the socket library; logs "connection terminal.".
  void SockClose();

  // True when reply data can be read within the reply wait.
  bool WaitReadable();

  // The host's first IPv4 address as dotted text, or empty.
  std::string ResolveHost(const std::string& name);

  // The machine's own IPv4 address (the first of its host name), or empty.
  std::string LocalAddress();

 private:
  bool WaitReadable(std::chrono::milliseconds wait);
  void Log(const std::string& line) { log_.WriteLog(line, true); }
  void Release();

  LogSink& log_;
  SocketLimits limits_;
  Lookup lookup_;
  platform::SocketHandle activeSocket_ = platform::kNoSocket;
};

}  // namespace quorvix
