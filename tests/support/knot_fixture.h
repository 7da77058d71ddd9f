// A private Knot DNS server for tests: the zone example.test, updatable with a fresh key, on
// 127.0.0.1 at a free port in a temporary folder. It stops with the fixture, or with the test
// process should that die first.
#pragma once

#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <thread>

#include "support/temp_dir.h"

namespace quorvix::testing {

class KnotServer {
 public:
  using Names = std::vector<std::string>;

  KnotServer() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);  // a free port: bound, read, let go
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    port_ = ntohs(address.sin_port);
    // The key file as the key generator writes it, shared with the service under test.
    std::ofstream(keyFile()) << Output("keymgr -t quorvix-test hmac-sha256");
    std::ofstream(dir_ / "zone")
        << "$ORIGIN example.test.\n$TTL 3600\n"
           "@ SOA ns hostmaster 1 3600 900 604800 60\n@ NS ns\nns A 127.0.0.1\n";
    std::ofstream(dir_ / "knot.conf")
        << "server:\n  listen: 127.0.0.1@" << port_ << "\n  rundir: " << (dir_ / "")
        << "\ninclude: " << keyFile() << "\nacl:\n  - id: update\n    key: quorvix-test\n"
        << "    action: update\ndatabase:\n  storage: " << (dir_ / "") << "\nzone:\n"
        << "  - domain: example.test\n    file: " << (dir_ / "zone") << "\n    acl: update\n"
        << "    zonefile-sync: -1\n    journal-content: all\nlog:\n  - target: "
        << (dir_ / "knot.log") << "\n    any: info\n";
    Start();
  }
  ~KnotServer() { Stop(); }

  std::string keyFile() const { return dir_ / "key.conf"; }
  std::string server() const { return "127.0.0.1:" + std::to_string(port_); }

  void Start() {
    const std::string config = dir_ / "knot.conf";
    if ((pid_ = ::fork()) == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      ::execlp("knotd", "knotd", "-c", config.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 100 && Query("ns.example.test", "A") != Names{"127.0.0.1"}; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // ready in about a second
    }
    ASSERT_EQ(Query("ns.example.test", "A"), Names{"127.0.0.1"});
  }
  void Stop() {
    if (pid_ > 0 && ::kill(pid_, SIGTERM) == 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // The server's answer for one name and type, sorted.
  Names Query(const std::string& name, const std::string& type) const {
    std::istringstream text(Output("kdig @127.0.0.1 -p " + std::to_string(port_) +
                                   " +tcp +short +timeout=2 +retry=0 " + name + " " + type));
    Names lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
  }

 private:
  static std::string Output(const std::string& command) {
    std::string text;
    std::FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    char buffer[512];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
      text.append(buffer, got);
    ::pclose(pipe);
    return text;
  }

  TempDir dir_;
  std::uint16_t port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace quorvix::testing
