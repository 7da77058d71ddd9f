// A private Knot DNS server for tests: one zone that takes updates signed with a fresh key,
// on 127.0.0.1 at a free port, in a temporary folder. It stops with the fixture, and with the
// test process should that die first.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace quorvix::testing {

// What a command printed on its standard output.
inline std::string CommandOutput(const std::string& command) {
  std::string text;
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) {
      text.append(buffer, got);
    }
    ::pclose(pipe);
  }
  return text;
}

class KnotServer {
 public:
  explicit KnotServer(std::string zone = "example.test") : zone_(std::move(zone)) {
    port_ = FreePort();
    // The key file in the form the key generator writes, shared with the service under test.
    const std::string key = CommandOutput("keymgr -t quorvix-test hmac-sha256");
    std::ofstream(keyFile()) << key;
    std::ofstream(dir_ / "zone") << "$ORIGIN " << zone_ << ".\n$TTL 3600\n"
                                 << "@ SOA ns hostmaster 1 3600 900 604800 60\n"
                                 << "@ NS ns\nns A 127.0.0.1\n";
    std::ofstream(dir_ / "knot.conf")
        << "server:\n  listen: 127.0.0.1@" << port_ << "\n  rundir: " << (dir_ / "run") << "\n"
        << "include: " << keyFile() << "\n"
        << "acl:\n  - id: update\n    key: quorvix-test\n    action: update\n"
        << "database:\n  storage: " << (dir_ / "db") << "\n"
        << "zone:\n  - domain: " << zone_ << "\n    file: " << (dir_ / "zone") << "\n"
        << "    acl: update\n    zonefile-sync: -1\n    journal-content: all\n"
        << "log:\n  - target: " << (dir_ / "knot.log") << "\n    any: info\n";
    Start();
  }
  ~KnotServer() { Stop(); }
  KnotServer(const KnotServer&) = delete;
  KnotServer& operator=(const KnotServer&) = delete;

  std::uint16_t port() const { return port_; }
  std::string keyFile() const { return dir_ / "key.conf"; }
  std::string server() const { return "127.0.0.1:" + std::to_string(port_); }

  void Start() {
    if (pid_ > 0) return;
    ::mkdir((dir_ / "run").c_str(), 0700);
    ::mkdir((dir_ / "db").c_str(), 0700);
    const std::string config = dir_ / "knot.conf";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      ::execlp("knotd", "knotd", "-c", config.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Ready once the zone answers; a second or so.
    for (int i = 0; i < 100 && Query("ns." + zone_, "A") != std::vector<std::string>{"127.0.0.1"};
         ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(Query("ns." + zone_, "A"), std::vector<std::string>{"127.0.0.1"})
        << ReadFile(dir_ / "knot.log");
  }

  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // The records of one name and type as the server answers them, sorted.
  std::vector<std::string> Query(const std::string& name, const std::string& type) const {
    const std::string text = CommandOutput("kdig @127.0.0.1 -p " + std::to_string(port_) +
                                           " +tcp +short +timeout=2 +retry=0 " + name + " " +
                                           type + " 2>/dev/null");
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = std::min(text.find('\n', start), text.size());
      if (end > start && text[start] != ';') lines.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  }

 private:
  static std::uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
  }

  TempDir dir_;
  std::string zone_;
  std::uint16_t port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace quorvix::testing
