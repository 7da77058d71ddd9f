#include "cli.h"

#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>

#include "base/program_identity.h"
#include "dns/publisher.h"
#include "http/server.h"
#include "platform/files.h"
#include "platform/xdg.h"
#include "protocol/signature.h"
#include "settings/domain_list.h"

namespace quorvix::service {
namespace {

constexpr std::uint16_t kDefaultPort = 47080;  // the port the `local` client build uses

constexpr const char* kUsage =
    "Usage: quorvix-service COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  serve                 serve the update and information servers\n"
    "  account add DOMAIN    add an account or change its password\n"
    "  account remove DOMAIN remove an account and its record\n"
    "  account list          list the accounts' domains (never the passwords)\n"
    "  records               print where each domain points\n"
    "\n"
    "Options:\n"
    "  --data DIR            data folder (default $XDG_DATA_HOME/quorvix-service)\n"
    "  --listen ADDRESS      serve: IPv4 address to listen on (default 127.0.0.1)\n"
    "  --port PORT           serve: TCP port (default 47080)\n"
    "  --major N, --minor N  serve: the newest client version GETVER reports (default 1.1)\n"
    "  --trust-forwarded-for serve: take the caller from one reverse proxy's X-Forwarded-For\n"
    "  --dns-server ADDRESS[:PORT]  serve: publish the records to this DNS primary (port 53)\n"
    "  --dns-zone ZONE       serve: a zone the primary takes updates for (repeatable)\n"
    "  --dns-key FILE        serve: the TSIG key file (a key: block or a key \"name\" {...};)\n"
    "  --dns-ttl SECONDS     serve: the published records' TTL (default 60)\n"
    "  --request-deadline S  serve: refuse a request not complete S seconds after its\n"
    "                        connection opened (default 20)\n"
    "  --per-address N       serve: connections one address may hold at once (default 32,\n"
    "                        0: no limit)\n"
    "  --password-stdin      account add: read the password from standard input\n"
    "  --help                show this text\n"
    "  --version             show the version\n";

struct Arguments {
  std::vector<std::string> words;  // command and its operands
  std::string dataFolder;
  ServerOptions server;
  DnsOptions dns;
  std::string dnsServer;
  std::string dnsKeyFile;
  bool dnsTtl = false;
  bool passwordFromStdin = false;
  bool help = false;
  bool version = false;
};

template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

bool ValidZone(const std::string& zone) {
  if (zone.empty() || zone.size() > 253 || zone.front() == '.') return false;
  for (const char c : zone) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.' || c == '_';
    if (!ok) return false;
  }
  return zone.find("..") == std::string::npos;
}

// Fills `parsed`; returns an error message for bad arguments.
std::optional<std::string> Parse(const std::vector<std::string>& args, Arguments& parsed) {
  parsed.server.port = kDefaultPort;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&](std::string& into) -> bool {
      if (i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
    } else if (arg == "--version") {
      parsed.version = true;
    } else if (arg == "--data") {
      if (!value(parsed.dataFolder)) return "--data needs a folder";
    } else if (arg == "--listen") {
      if (!value(parsed.server.listenAddress)) return "--listen needs an address";
    } else if (arg == "--port") {
      if (!value(text) || !ParseNumber(text, parsed.server.port))
        return "--port needs a port number";
    } else if (arg == "--major") {
      if (!value(text) || !ParseNumber(text, parsed.server.protocol.major))
        return "--major needs a number";
    } else if (arg == "--minor") {
      if (!value(text) || !ParseNumber(text, parsed.server.protocol.minor))
        return "--minor needs a number";
    } else if (arg == "--trust-forwarded-for") {
      parsed.server.trustForwardedFor = true;
    } else if (arg == "--dns-server") {
      if (!value(parsed.dnsServer) || !ParseDnsServer(parsed.dnsServer, parsed.dns))
        return "--dns-server needs an IPv4 address, optionally with :PORT";
    } else if (arg == "--dns-zone") {
      if (!value(text)) return "--dns-zone needs a zone name";
      if (!text.empty() && text.back() == '.') text.pop_back();
      if (!ValidZone(text)) return "--dns-zone needs a zone name: " + text;
      parsed.dns.zones.push_back(text);
    } else if (arg == "--dns-key") {
      if (!value(parsed.dnsKeyFile)) return "--dns-key needs a file";
    } else if (arg == "--dns-ttl") {
      if (!value(text) || !ParseNumber(text, parsed.dns.ttl) || parsed.dns.ttl > 2147483647)
        return "--dns-ttl needs a number of seconds";
      parsed.dnsTtl = true;
    } else if (arg == "--request-deadline") {
      unsigned seconds = 0;
      if (!value(text) || !ParseNumber(text, seconds) || seconds == 0 || seconds > 3600)
        return "--request-deadline needs 1 to 3600 seconds";
      parsed.server.requestDeadline = std::chrono::seconds(seconds);
    } else if (arg == "--per-address") {
      if (!value(text) || !ParseNumber(text, parsed.server.connectionsPerAddress))
        return "--per-address needs a number";
    } else if (arg == "--password-stdin") {
      parsed.passwordFromStdin = true;
    } else if (arg.starts_with("--")) {
      return "unknown option " + arg;
    } else {
      parsed.words.push_back(arg);
    }
  }
  return std::nullopt;
}

std::string DatabasePath(const std::string& folder) {
  const std::string dir = folder.empty() ? platform::XdgDataHome() + "/quorvix-service" : folder;
  if (auto error = platform::CreateFolders(dir, 0700)) {
    throw DatabaseError("cannot create " + dir + ": " + error.message());
  }
  // The accounts hold passwords: an existing folder is made private too. The database makes
  // its own file private.
  if (::chmod(dir.c_str(), 0700) != 0) throw DatabaseError("cannot make " + dir + " private");
  return dir + "/service.db";
}

// The DNS options complete, their key read; an error message otherwise.
std::optional<std::string> CompleteDnsOptions(Arguments& args) {
  const bool any =
      !args.dnsServer.empty() || !args.dns.zones.empty() || !args.dnsKeyFile.empty() || args.dnsTtl;
  if (!any) return std::nullopt;
  if (args.dnsServer.empty() || args.dns.zones.empty() || args.dnsKeyFile.empty()) {
    return "DNS publication needs --dns-server, --dns-zone and --dns-key together";
  }
  std::ifstream file(args.dnsKeyFile, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  if (!file) return "cannot read the key file " + args.dnsKeyFile;
  std::string error;
  const std::optional<TsigKey> key = ParseTsigKey(text.str(), error);
  if (!key) return args.dnsKeyFile + ": " + error;
  args.dns.key = *key;
  return std::nullopt;
}

std::string ReadPassword(bool fromStdin, std::istream& in, std::ostream& out) {
  std::string password;
  if (fromStdin || !::isatty(STDIN_FILENO)) {
    std::getline(in, password);
  } else {
    out << "Password: " << std::flush;
    termios saved{};
    ::tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    std::getline(in, password);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    out << "\n";
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return password;
}

bool ValidDomain(const std::string& domain) {
  return checkReg("domain", domain) == true && domain.size() >= 3 &&
         domain.find('.') != std::string::npos;
}

int Serve(Arguments args, std::ostream& out, std::ostream& err) {
  if (const auto error = CompleteDnsOptions(args)) {
    err << "quorvix-service: " << *error << "\n";
    return 2;
  }
  Database database(DatabasePath(args.dataFolder));
  // Wait for the stop signals in this thread; the server's threads must not take them.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  std::mutex logMutex;
  // Standard output takes each line in one write: whole in a file or a pipe, and no server
  // thread waits for another. Another stream (a caller in the same process) is written under a
  // lock.
  const bool direct = &out == &std::cout;
  out << std::flush;
  const auto log = [&](const std::string& line) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const std::string text =
        IsoTime(std::chrono::duration_cast<std::chrono::seconds>(now).count()) + " " + line + "\n";
    if (direct) {
      for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n <= 0 && errno != EINTR) break;
        if (n > 0) done += static_cast<std::size_t>(n);
      }
      return;
    }
    std::lock_guard lock(logMutex);
    out << text << std::flush;
  };
  try {
    std::unique_ptr<Publisher> publisher;
    if (!args.dns.zones.empty()) {
      publisher = std::make_unique<Publisher>(database, DnsUpdater(args.dns), log);
      args.server.protocol.publisher = publisher.get();
      log("publishing to " + args.dns.server + ":" + std::to_string(args.dns.port) + " with key " +
          args.dns.key.name);
    }
    Server server(database, args.server, log);
    log("listening on " + args.server.listenAddress + ":" + std::to_string(server.port()));
    // Once a second, look whether the database is still the file we opened and still sound.
    const timespec second{1, 0};
    while (::sigtimedwait(&stops, nullptr, &second) < 0) {
      std::optional<std::string> problem;
      try {
        problem = database.Problem();
      } catch (const DatabaseBusy&) {
        continue;
      }
      if (problem) {
        log("stopping: " + *problem);
        return 1;
      }
    }
    log("stopping");
  } catch (const std::exception& error) {
    err << "quorvix-service: " << error.what() << "\n";
    return 1;
  }
  return 0;
}

int Account(const Arguments& args, std::istream& in, std::ostream& out, std::ostream& err) {
  const std::string& action = args.words.size() > 1 ? args.words[1] : std::string();
  if (action == "list" && args.words.size() == 2) {
    Database database(DatabasePath(args.dataFolder));
    for (const std::string& domain : database.Accounts()) out << domain << "\n";
    return 0;
  }
  if ((action != "add" && action != "remove") || args.words.size() != 3) {
    err << "quorvix-service: account needs add DOMAIN, remove DOMAIN or list\n";
    return 2;
  }
  const std::string& domain = args.words[2];
  if (!ValidDomain(domain)) {
    err << "quorvix-service: not a domain name the client accepts: " << domain << "\n";
    return 2;
  }
  Database database(DatabasePath(args.dataFolder));
  if (action == "remove") {
    if (!database.RemoveAccount(domain)) {
      err << "quorvix-service: no account for " << domain << "\n";
      return 1;
    }
    out << "removed " << domain << "\n";
    return 0;
  }
  const std::string password = ReadPassword(args.passwordFromStdin, in, out);
  if (!UsablePassword(password)) {
    err << "quorvix-service: the password must not be empty, must hold no \",\" and only "
           "ASCII letters, digits and symbols\n";
    return 2;
  }
  out << (database.AddAccount(domain, password) ? "added " : "changed the password of ") << domain
      << "\n";
  return 0;
}

int Records(const Arguments& args, std::ostream& out) {
  Database database(DatabasePath(args.dataFolder));
  for (const Record& record : database.Records()) {
    out << record.domain << "\t" << record.address << "\tmx=" << (record.mx ? "yes" : "no") << "\t"
        << IsoTime(record.updated) << "\n";
  }
  return 0;
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err) {
  Arguments parsed;
  if (const auto error = Parse(args, parsed)) {
    err << "quorvix-service: " << *error << "\n" << kUsage;
    return 2;
  }
  if (parsed.help) {
    out << kUsage;
    return 0;
  }
  if (parsed.version) {
    out << "quorvix-service " << VersionText() << "\n";
    return 0;
  }
  const std::string command = parsed.words.empty() ? std::string() : parsed.words.front();
  try {
    if (command == "serve" && parsed.words.size() == 1) return Serve(parsed, out, err);
    if (command == "account") return Account(parsed, in, out, err);
    if (command == "records" && parsed.words.size() == 1) return Records(parsed, out);
  } catch (const DatabaseError& error) {
    err << "quorvix-service: " << error.what() << "\n";
    return 1;
  }
  err << "quorvix-service: unknown command" << (command.empty() ? "" : ": " + command) << "\n"
      << kUsage;
  return 2;
}

}  // namespace quorvix::service
