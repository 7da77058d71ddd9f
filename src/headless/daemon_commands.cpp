#include "headless/daemon_commands.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>

#include "base/program_identity.h"
#include "headless/headless_desktop.h"
#include "platform/files.h"
#include "platform/instance_lock.h"
#include "platform/stop_signal.h"
#include "platform/terminal.h"
#include "protocol/endpoints.h"
#include "protocol/signing.h"
#include "settings/domain_list.h"
#include "settings/status_file.h"
#include "ui/setup/setup_dialog.h"
#include "ui/windows/log_viewer.h"

namespace quorvix {
namespace {

// What differs between the platforms: how the client starts with the system, how it stops.
#ifdef _WIN32
constexpr const char* kAutoRunKind = "注册表 Run 项, 后台运行, 不显示窗口";
constexpr const char* kRunHelp =
    "用法: quorvixddnsd run\n在前台运行. Ctrl-C、Ctrl-Break 或关闭控制台窗口结束程序.\n";
constexpr const char* kAutoRunHelp =
    "autorun on 在注册表 Run 项中登记 quorvixddnsd run --background: 登录时在后台运行,\n"
    "不显示控制台窗口 (用任务管理器结束). 托盘程序 quorvixDDNS 有自己的启动项.\n";
#else
constexpr const char* kAutoRunKind = "systemd 用户单元";
constexpr const char* kRunHelp =
    "用法: quorvixddnsd run\n在前台运行 (适合 systemd). SIGTERM 或 SIGINT 结束程序.\n";
constexpr const char* kAutoRunHelp =
    "autorun on 启用 systemd 用户单元 quorvixddnsd.service; 没有登录会话的机器还需\n"
    "loginctl enable-linger.\n";
#endif

const std::string kUsage =
    std::string(
        "用法: quorvixddnsd 命令 [选项]\n"
        "\n"
        "命令:\n"
        "  run                     在前台运行: 启动时更新域名, 之后每30分钟检查公网IP\n"
        "  add 域名 [--password-stdin]\n"
        "                          添加域名 (管理密码从终端读入, 不回显; 或从标准输入读入)\n"
        "  del 域名                删除域名\n"
        "  list                    列出域名 (不显示密码)\n"
        "  status                  客户端是否在运行, 上次看到的公网IP, 每个域名的上次结果\n"
        "  set autorun|mx|verbose on|off\n"
        "                          随系统启动 (") +
    kAutoRunKind +
    ") / 解析MX邮件记录 / 记录详细日志\n"
    "  set server 主机[:端口]|default\n"
    "                          使用自建的服务 (default: 内置服务器)\n"
    "  refresh                 立即更新所有域名\n"
    "  stop                    停止解析所有域名\n"
    "  log [-n 行数] [--follow]  显示日志 (最后若干行; 持续显示新的日志)\n"
    "\n"
    "每个命令都接受 --help; --version 显示版本.\n"
    "\n"
    "退出状态:\n"
    "  0  成功 (所有域名都成功)\n"
    "  1  失败 (无法连接、被拒绝、超时、保存设置失败)\n"
    "  2  用法错误\n"
    "  3  服务器接受了命令, 但部分域名失败\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"run",
     std::string(kRunHelp) + "同一配置只能有一个客户端在运行 (quorvixddnsd run 或托盘程序).\n"},
    {"add",
     "用法: quorvixddnsd add 域名 [--password-stdin]\n"
     "添加域名并立即更新. 规则与设置窗口相同.\n"},
    {"del", "用法: quorvixddnsd del 域名\n删除域名 (不通知服务器).\n"},
    {"list", "用法: quorvixddnsd list\n列出已设置的域名, 不显示密码.\n"},
    {"set",
     "用法: quorvixddnsd set autorun|mx|verbose on|off\n"
     "       quorvixddnsd set server 主机[:端口]|default\n" +
         std::string(kAutoRunHelp)},
    {"status",
     "用法: quorvixddnsd status\n显示客户端是否在运行、上次看到的公网IP和每个域名的上次结果.\n"},
    {"refresh", "用法: quorvixddnsd refresh\n立即更新所有域名.\n"},
    {"stop", "用法: quorvixddnsd stop\n停止解析所有域名.\n"},
    {"log",
     "用法: quorvixddnsd log [-n 行数] [--follow]\n显示日志; -n 只显示最后若干行, "
     "--follow 持续显示新写入的日志, 直到 Ctrl-C.\n"},
};

// The settings dialog without a window: the command line fills the boxes and presses buttons.
class CommandLineSetupView final : public SetupView {
 public:
  std::string DomainText() const override { return domain; }
  void SetDomainText(const std::string& text) override { domain = text; }
  std::string PasswordText() const override { return password; }
  void SetPasswordText(const std::string& text) override { password = text; }
  void FocusDomain() override {}
  void FocusPassword() override {}
  int ItemCount() const override { return static_cast<int>(items.size()); }
  std::string ItemText(int index) const override { return items[static_cast<std::size_t>(index)]; }
  int SelectedIndex() const override { return selected; }
  void AddItem(const std::string& text) override { items.push_back(text); }
  void RemoveItem(int index) override {
    items.erase(items.begin() + index);
    selected = -1;
  }
  void SetOptions(bool autoRunValue, bool mxValue, bool verboseValue) override {
    autoRun = autoRunValue;
    mx = mxValue;
    verbose = verboseValue;
  }
  bool AutoRunChecked() const override { return autoRun; }
  bool MXChecked() const override { return mx; }
  bool LogVerboseChecked() const override { return verbose; }
  void CloseDialog() override { closed = true; }

  std::string domain;
  std::string password;
  std::vector<std::string> items;
  int selected = -1;
  bool autoRun = false;
  bool mx = false;
  bool verbose = false;
  bool closed = false;
};

// The headless client's own value: a self-hosted service as HOST[:PORT]; empty for the
// built-in servers.
constexpr std::string_view kSettingServer = "server";

// Both servers on HOST, at PORT (80 when not given); nothing for a value that is no such text.
std::optional<ServiceEndpoints> ParseServer(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  const std::string host = text.substr(0, colon);
  if (checkReg("domain", host) != true) return std::nullopt;
  ServiceEndpoints endpoints{host, host, 80};
  if (colon != std::string::npos) {
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos || std::stoul(port) == 0 ||
        std::stoul(port) > 65535) {
      return std::nullopt;
    }
    endpoints.port = static_cast<std::uint16_t>(std::stoul(port));
  }
  return endpoints;
}

std::string ServerText(const ServiceEndpoints& endpoints) {
  const ServiceEndpoints builtIn;
  if (endpoints.updateHost == builtIn.updateHost && endpoints.infoHost == builtIn.infoHost &&
      endpoints.port == builtIn.port) {
    return "内置 (" + builtIn.updateHost + ", " + builtIn.infoHost + ", 端口 " +
           std::to_string(builtIn.port) + ")";
  }
  return endpoints.updateHost + ":" + std::to_string(endpoints.port);
}

// Everything one command needs, wired as the tray program wires it.
struct Session {
  explicit Session(DaemonContext& context)
      : desktop(context.err), core(desktop, context.clock, std::move(context.setup)) {
    core.store.SetAutoRunArguments(context.autoRunArguments);
    if (const auto server = ParseServer(core.store.ReadSetting(kSettingServer))) {
      core.runner.SetEndpoints(*server);
    }
    desktop.Attach(core.shell, core.state);
    std::ostream& out = context.out;
    // The log's lines, their control characters already escaped, go to standard output too.
    core.log.SetLineObserver([&out](std::string_view line) { out << line << std::endl; });
  }
  HeadlessDesktop desktop;
  ClientCore core;
};

int Usage(DaemonContext& context, const std::string& problem) {
  context.err << "quorvixddnsd: " << problem << "\n\n" << kUsage;
  return kExitUsage;
}

int Run(DaemonContext& context) {
  // One client per configuration: a second one would send every update twice and fight over
  // the log and the state.
  const platform::InstanceLock instance(context.setup.lockName);
  if (instance.previousInstance()) {
    context.err << "quorvixddnsd: 已经有客户端 (quorvixddnsd run 或托盘程序) 在使用同一配置运行"
                << std::endl;
    return kExitFailed;
  }
  const std::chrono::milliseconds tick = context.tick;
  Session session(context);
  Shell& shell = session.core.shell;
  // Open before the start-up, so a network that comes up during it is checked at once after.
  const std::unique_ptr<platform::AddressWatch> addresses = context.openAddressWatch();
  shell.Guarded([&] { shell.RunStartup(false); });
  if (session.desktop.wantedSettings()) {
    shell.Quit();
    return kExitFailed;
  }
  session.desktop.RunUntilStopped(shell, tick, *addresses);
  return kExitOk;
}

// Changes of one configuration take turns, so that two at once cannot lose one another's.
platform::InstanceLock SettingsTurn(const DaemonContext& context) {
  return platform::InstanceLock(context.setup.lockName + "-settings",
                                platform::InstanceLock::Wait::Yes);
}

// Runs the settings dialog's logic: `edit` fills the boxes and presses the buttons; OK saves.
template <typename Edit>
int EditSettings(DaemonContext& context, Edit edit) {
  const platform::InstanceLock turn = SettingsTurn(context);
  Session session(context);
  ClientCore& core = session.core;
  core.store.LoadSettings(core.state, false);
  CommandLineSetupView view;
  SetupDialog dialog(view, core.services(), core.shell);
  dialog.Load();
  if (!edit(view, dialog)) return kExitFailed;
  dialog.Ok();
  return view.closed ? kExitOk : kExitFailed;
}

int Add(DaemonContext& context, const std::string& domain, bool passwordFromStdin) {
  std::string password;
  if (passwordFromStdin) {
    std::getline(context.in, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
  } else if (context.terminal) {
    std::optional<std::string> typed = platform::ReadSecretLine("域名管理密码: ", context.err);
    if (!typed) {
      context.err << "quorvixddnsd: 已取消, 没有保存" << std::endl;
      return kExitFailed;
    }
    password = std::move(*typed);
  } else {
    return Usage(context, "标准输入不是终端: 请用 --password-stdin 传入密码");
  }
  // The service could never check such a password: every update of the domain would fail.
  if (!CanSign(domain, password)) {
    context.err << "出错提示: 密码只能包含英文字母、数字和英文符号, 含有其他字符的密码无法签名"
                << std::endl;
    return kExitFailed;
  }
  return EditSettings(context, [&](CommandLineSetupView& view, SetupDialog& dialog) {
    view.domain = domain;
    view.password = password;
    dialog.Add();
    return dialog.domainsChanged();
  });
}

int Delete(DaemonContext& context, const std::string& domain) {
  return EditSettings(context, [&](CommandLineSetupView& view, SetupDialog& dialog) {
    // The exact name first; otherwise the one name that matches without regard to case.
    auto found = std::find(view.items.begin(), view.items.end(), domain);
    if (found == view.items.end()) {
      found = std::find_if(view.items.begin(), view.items.end(),
                           [&](const std::string& item) { return SameDomainName(item, domain); });
    }
    if (found == view.items.end()) {
      context.err << "出错提示: 域名" << domain << "不存在" << std::endl;
      return false;
    }
    view.selected = static_cast<int>(found - view.items.begin());
    dialog.Delete();
    return true;
  });
}

int SetServer(DaemonContext& context, const std::string& value) {
  const bool builtIn = value == "default";
  if (!builtIn && !ParseServer(value)) {
    return Usage(context, "服务器应写成 主机[:端口], 或 default 表示内置服务器");
  }
  const platform::InstanceLock turn = SettingsTurn(context);
  Session session(context);
  if (!session.core.store.WriteSetting(kSettingServer, builtIn ? "" : value)) {
    context.err << "quorvixddnsd: 保存设置失败" << std::endl;
    return kExitFailed;
  }
  return kExitOk;
}

int Set(DaemonContext& context, const std::string& name, const std::string& value) {
  if (name == "server") return SetServer(context, value);
  if (value != "on" && value != "off") return Usage(context, "set 的取值只能是 on 或 off");
  if (name != "autorun" && name != "mx" && name != "verbose") {
    return Usage(context, "未知的参数: " + name);
  }
  const bool on = value == "on";
  return EditSettings(context, [&](CommandLineSetupView& view, SetupDialog& dialog) {
    if (name == "autorun") {
      view.autoRun = on;
      dialog.AutoRunClicked();
    } else if (name == "mx") {
      view.mx = on;
    } else {
      view.verbose = on;
    }
    return true;
  });
}

int List(DaemonContext& context) {
  Session session(context);
  for (const DomainEntry& entry : ReadDomainList(session.core.store.ReadSetting(kSettingDomains))) {
    context.out << entry.domain << "\n";
  }
  // On standard error: scripts read the domains, one a line, from standard output.
  context.err << "服务器: " << ServerText(session.core.runner.endpoints()) << std::endl;
  return kExitOk;
}

int Status(DaemonContext& context) {
  const bool running = platform::InstanceLock::IsHeld(context.setup.lockName);
  const std::string statusPath = context.setup.statusFilePath;
  Session session(context);
  const ClientStatus status = ReadClientStatus(statusPath);
  std::ostream& out = context.out;
  out << "客户端: " << (running ? "正在运行" : "未运行") << "\n";
  out << "服务器: " << ServerText(session.core.runner.endpoints()) << "\n";
  out << "公网IP: "
      << (status.publicIp.empty() ? "未知" : status.publicIp + " (" + status.publicIpTime + ")")
      << "\n";
  if (!status.lastCommand.empty()) {
    out << "上次命令: " << status.lastCommand << (status.lastCommandOk ? " 成功" : " 失败") << " ("
        << status.lastCommandTime << ")\n";
  }
  const std::vector<DomainEntry> entries =
      ReadDomainList(session.core.store.ReadSetting(kSettingDomains));
  out << "域名:" << (entries.empty() ? " 无" : "") << "\n";
  for (const DomainEntry& entry : entries) {
    const DomainStatus* known = status.Find(entry.domain);
    out << "  " << entry.domain << "  ";
    if (known == nullptr) {
      out << "尚无结果\n";
    } else {
      out << known->command << (known->ok ? " 成功" : " 失败: " + EscapeControls(known->result))
          << " (" << known->time << ")\n";
    }
  }
  return kExitOk;
}

template <typename Command>
int Once(DaemonContext& context, Command command) {
  Session session(context);
  session.core.store.LoadSettings(session.core.state, false);
  bool ok = false;
  session.core.shell.Guarded([&] { ok = command(session.core.shell); });
  if (platform::StopRequested()) return kExitFailed;  // broken off: nothing is known to be done
  if (!ok) return kExitFailed;
  return session.core.runner.lastExchange().Count(false) > 0 ? kExitSomeFailed : kExitOk;
}

// The last `count` lines of the text (all when count is unset); every line ends with "\n".
std::string LastLines(const std::string& text, std::optional<std::size_t> count) {
  if (!count) return text;
  std::size_t start = text.size();
  for (std::size_t taken = 0; start > 0 && taken < *count; ++taken) {
    const std::size_t previous = start >= 2 ? text.rfind('\n', start - 2) : std::string::npos;
    start = previous == std::string::npos ? 0 : previous + 1;
  }
  return text.substr(start);
}

// Prints what is appended to the log until a stop signal; a rotated or cleared log is read
// again from its start.
void FollowLog(const std::string& path, std::uintmax_t offset, std::ostream& out) {
  std::string partial;
  while (!platform::WaitForStop(std::chrono::milliseconds(250))) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) continue;
    if (size < offset) offset = 0;
    if (size == offset) continue;
    std::ifstream file(path, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(offset));
    const std::string chunk{std::istreambuf_iterator<char>(file), {}};
    offset += chunk.size();
    partial += platform::FromPlatformText(chunk);
    const std::size_t end = partial.rfind('\n');
    if (end == std::string::npos) continue;
    std::string lines = partial.substr(0, end + 1);
    partial.erase(0, end + 1);
    std::erase(lines, '\r');
    out << lines << std::flush;
  }
}

int PrintLog(DaemonContext& context, std::optional<std::size_t> count, bool follow) {
  Session session(context);
  session.core.store.LoadSettings(session.core.state, false);
  const std::string& path = session.core.state.logFilePath;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  const LogSnapshot snapshot = ReadLogSnapshot(path);
  if (!snapshot.error.empty()) {
    context.err << "无法读取日志文件:" << snapshot.error << std::endl;
    return kExitFailed;
  }
  std::string text = LastLines(snapshot.text, count);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  context.out << text << std::flush;
  if (follow) FollowLog(path, error ? 0 : size, context.out);
  return kExitOk;
}

// A line count: digits only, within reason.
std::optional<std::size_t> LineCount(const std::string& text) {
  if (text.empty() || text.size() > 9 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(std::stoul(text));
}

}  // namespace

int RunDaemonCommand(const std::vector<std::string>& args, DaemonContext& context) {
  std::vector<std::string> words;
  bool help = false;
  bool passwordFromStdin = false;
  bool follow = false;
  std::optional<std::size_t> lines;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--version") {
      context.out << "quorvixddnsd " << VersionText() << "\n";
      return kExitOk;
    } else if (arg == "--password-stdin") {
      passwordFromStdin = true;
    } else if (arg == "--follow" || arg == "-f") {
      follow = true;
    } else if (arg == "-n") {
      if (i + 1 >= args.size() || !(lines = LineCount(args[i + 1]))) {
        return Usage(context, "-n 后面要跟一个行数");
      }
      ++i;
    } else if (arg.starts_with("-")) {
      return Usage(context, "未知的选项: " + arg);
    } else {
      words.push_back(arg);
    }
  }
  const std::string command = words.empty() ? std::string() : words.front();
  if (help) {
    const auto found = kCommandHelp.find(command);
    context.out << (found == kCommandHelp.end() ? kUsage : found->second);
    return kExitOk;
  }
  if (command.empty()) return Usage(context, "缺少命令");
  if (passwordFromStdin && command != "add") return Usage(context, "--password-stdin 只用于 add");
  if ((follow || lines) && command != "log") return Usage(context, "-n 和 --follow 只用于 log");
  const std::size_t operands = words.size() - 1;
  if (command == "run" && operands == 0) return Run(context);
  if (command == "add" && operands == 1) return Add(context, words[1], passwordFromStdin);
  if (command == "del" && operands == 1) return Delete(context, words[1]);
  if (command == "list" && operands == 0) return List(context);
  if (command == "status" && operands == 0) return Status(context);
  if (command == "set" && operands == 2) return Set(context, words[1], words[2]);
  if (command == "refresh" && operands == 0) {
    return Once(context, [](Shell& shell) { return shell.Refresh(); });
  }
  if (command == "stop" && operands == 0) {
    return Once(context, [](Shell& shell) { return shell.Stop(); });
  }
  if (command == "log" && operands == 0) return PrintLog(context, lines, follow);
  if (kCommandHelp.count(command) > 0) return Usage(context, command + " 的参数不对");
  return Usage(context, "未知的命令: " + command);
}

}  // namespace quorvix
