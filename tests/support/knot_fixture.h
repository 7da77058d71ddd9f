// A private Knot DNS server for tests: the zone example.test, updatable with a fresh key, on
// 127.0.0.1 at a free port in a temporary folder. It stops with the fixture, or with the test
// process should that die first.
#pragma once

#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <csignal>
#include <thread>

#include "support/temp_dir.h"

namespace quorvix::testing {

// What a shell command printed.
inline std::string Output(const std::string& command) {
  std::string text(4096, '\0');
  std::FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  text.resize(std::fread(text.data(), 1, text.size(), pipe));
  ::pclose(pipe);
  return text;
}

class KnotServer {
 public:
  KnotServer() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);  // a free port: bound, read, let go
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    port_ = std::to_string(ntohs(address.sin_port));
    std::ofstream(keyFile()) << Output(
        "/usr/sbin/keymgr -t quorvix-test hmac-sha256");  // as it writes it
    std::ofstream(dir_ / "zone") << "$ORIGIN example.test.\n@ 60 SOA ns hostmaster 1 60 60 60 60\n"
                                    "@ 60 NS ns\nns 60 A 127.0.0.1\n";
    std::ofstream(dir_ / "knot.conf")
        << "server:\n  listen: 127.0.0.1@" << port_ << "\n  rundir: " << dir_.path()
        << "\ninclude: " << keyFile() << "\nacl:\n  - id: up\n    key: quorvix-test\n"
        << "    action: update\ndatabase:\n  storage: " << dir_.path() << "\nzone:\n"
        << "  - domain: example.test\n    file: " << (dir_ / "zone") << "\n    acl: up\n"
        << "    zonefile-sync: -1\nlog:\n  - target: " << (dir_ / "log") << "\n    any: info\n";
    Start();
  }
  ~KnotServer() { Stop(); }

  std::string keyFile() const { return dir_ / "key.conf"; }
  std::string server() const { return "127.0.0.1:" + port_; }

  void Start() {
    const std::string config = dir_ / "knot.conf";
    if ((pid_ = ::fork()) == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      ::execl("/usr/sbin/knotd", "knotd", "-c", config.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 100 && Query("ns.example.test", "A") != "127.0.0.1\n"; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // ready in about a second
    }
  }
  void Stop() {
    if (pid_ > 0 && ::kill(pid_, SIGTERM) == 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // The server's short answer for one name and type: one line per record.
  std::string Query(const std::string& name, const std::string& type) const {
    return Output("kdig @127.0.0.1 -p " + port_ + " +tcp +short " + name + " " + type);
  }

 private:
  TempDir dir_;
  std::string port_;
  pid_t pid_ = -1;
};

}  // namespace quorvix::testing
