// The client's footprint: time from exec to the first request reaching the service, and peak
// resident memory one second after the start-up has finished, over several runs.
// Usage: footprint PROGRAM [RUNS]   PROGRAM is a `local` build (it talks to 127.0.0.1:47080) of
// the tray program or of the headless client (quorvixddnsd, run with "run").
// Runs the program with QT_QPA_PLATFORM=offscreen and a private store holding one domain.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint16_t kServicePort = 47080;

int Listen() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(kServicePort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 16) != 0) {
    std::perror("footprint: cannot listen on 127.0.0.1:47080");
    std::exit(1);
  }
  return fd;
}

// Answers one request at once, as the service would; returns its command.
std::string Answer(int listener) {
  const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return {};
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  const auto start = request.find("Command=");
  const std::string command = start == std::string::npos
                                  ? ""
                                  : request.substr(start + 8, request.find('&', start) - start - 8);
  std::string values = "RET-CODE: 200\r\n";
  if (command == "GETIP") values += "Y-IP: 127.0.0.1\r\n";
  if (command == "GETVER") values += "Major: 1\r\nMinor: 1\r\n";
  if (command == "START" || command == "STOP") values += "RET-DMLIST: demo.example.com|200,\r\n";
  const std::string reply = "HTTP/1.1 200 OK\r\n" + values + "Connection: close\r\n\r\n";
  ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
  ::close(fd);
  return command;
}

bool Readable(int fd, int milliseconds) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, milliseconds) > 0;
}

long PeakRssKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

struct Run {
  double startupMs = -1;
  double peakMiB = -1;
};

Run Measure(const std::string& program, const std::filesystem::path& home, int listener) {
  std::filesystem::remove_all(home);
  std::filesystem::create_directories(home / "config/quorvixDDNS");
  std::filesystem::create_directories(home / "run");
  std::filesystem::permissions(home / "run", std::filesystem::perms::owner_all);
  std::ofstream(home / "config/quorvixDDNS/domains") << "demo.example.com|demo-password,";
  std::ofstream(home / "config/quorvixDDNS/glbFirstRun") << "false";

  // The child gets a copy of unwritten output, and its freopen would write it a second time.
  std::fflush(nullptr);
  const auto begin = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (home / "state").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (home / "run").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    // The headless client needs its command; the tray program takes no arguments.
    const bool daemon = std::filesystem::path(program).filename() == "quorvixddnsd";
    ::execl(program.c_str(), program.c_str(), daemon ? "run" : nullptr,
            static_cast<char*>(nullptr));
    std::_Exit(127);
  }
  Run run;
  bool started = false;
  // The start-up sends GETVER, GETIP and START; it has finished once START is answered.
  while (Readable(listener, 10000)) {
    const std::string command = Answer(listener);
    if (!started) {
      run.startupMs = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
      started = true;
    }
    if (command == "START") break;
  }
  if (started) {
    ::usleep(1000 * 1000);
    run.peakMiB = static_cast<double>(PeakRssKiB(pid)) / 1024.0;
  }
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? -1 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: footprint PROGRAM [RUNS]\n");
    return 2;
  }
  const std::string program = std::filesystem::absolute(argv[1]).string();
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  const int listener = Listen();
  const auto home =
      std::filesystem::temp_directory_path() / ("quorvix-footprint-" + std::to_string(::getpid()));
  std::vector<double> startup;
  std::vector<double> peak;
  for (int i = 0; i < runs; ++i) {
    const Run run = Measure(program, home, listener);
    std::printf("run %d: startup %.1f ms, peak rss %.1f MiB\n", i + 1, run.startupMs, run.peakMiB);
    if (run.startupMs >= 0) startup.push_back(run.startupMs);
    if (run.peakMiB >= 0) peak.push_back(run.peakMiB);
  }
  std::filesystem::remove_all(home);
  ::close(listener);
  const bool daemon = std::filesystem::path(program).filename() == "quorvixddnsd";
  std::printf("%sstartup ms: %.1f peak rss MiB: %.2f\n", daemon ? "daemon " : "", Median(startup),
              Median(peak));
  return startup.empty() ? 1 : 0;
}
