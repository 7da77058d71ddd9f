#include "headless/daemon_commands.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <optional>

#include "headless/headless_desktop.h"
#include "platform/instance_lock.h"
#include "platform/terminal.h"
#include "settings/domain_list.h"
#include "ui/setup/setup_dialog.h"
#include "ui/windows/log_viewer.h"

namespace quorvix {
namespace {

constexpr const char* kUsage =
    "用法: quorvixddnsd 命令 [选项]\n"
    "\n"
    "命令:\n"
    "  run                     在前台运行: 启动时更新域名, 之后每30分钟检查公网IP\n"
    "  add 域名 [--password-stdin]\n"
    "                          添加域名 (管理密码从终端读入, 不回显; 或从标准输入读入)\n"
    "  del 域名                删除域名\n"
    "  list                    列出域名 (不显示密码)\n"
    "  set autorun|mx|verbose on|off\n"
    "                          随系统启动 / 解析MX邮件记录 / 记录详细日志\n"
    "  refresh                 立即更新所有域名 (成功返回0, 失败返回1)\n"
    "  stop                    停止解析所有域名 (成功返回0, 失败返回1)\n"
    "  log                     显示日志\n"
    "\n"
    "每个命令都接受 --help.\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"run", "用法: quorvixddnsd run\n在前台运行 (适合 systemd). SIGTERM 或 SIGINT 结束程序.\n"},
    {"add",
     "用法: quorvixddnsd add 域名 [--password-stdin]\n"
     "添加域名并立即更新. 规则与设置窗口相同.\n"},
    {"del", "用法: quorvixddnsd del 域名\n删除域名 (不通知服务器).\n"},
    {"list", "用法: quorvixddnsd list\n列出已设置的域名, 不显示密码.\n"},
    {"set", "用法: quorvixddnsd set autorun|mx|verbose on|off\n"},
    {"refresh", "用法: quorvixddnsd refresh\n立即更新所有域名.\n"},
    {"stop", "用法: quorvixddnsd stop\n停止解析所有域名.\n"},
    {"log", "用法: quorvixddnsd log\n显示日志.\n"},
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

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Everything one command needs, wired as the tray program wires it.
struct Session {
  explicit Session(DaemonContext& context)
      : desktop(context.err), core(desktop, context.clock, std::move(context.setup)) {
    core.store.SetAutoRunArguments("run");
    desktop.Attach(core.shell, core.state);
    std::ostream& out = context.out;
    // The text `log` prints: a verbose line holds the service's reply with its CR LF line ends,
    // which would leave stray CRs in whatever reads the output (a terminal, the journal).
    core.log.SetLineObserver([&out](std::string_view line) {
      std::string text(line);
      std::erase(text, '\r');
      out << text << std::endl;
    });
  }
  HeadlessDesktop desktop;
  ClientCore core;
};

int Usage(DaemonContext& context, const std::string& problem) {
  context.err << "quorvixddnsd: " << problem << "\n\n" << kUsage;
  return 2;
}

int Run(DaemonContext& context) {
  const platform::InstanceLock instance("quorvixddnsd");
  const std::chrono::milliseconds tick = context.tick;
  Session session(context);
  Shell& shell = session.core.shell;
  shell.Guarded([&] { shell.RunStartup(instance.previousInstance()); });
  if (session.desktop.wantedSettings()) {
    shell.Quit();
    return 1;
  }
  session.desktop.RunUntilStopped(shell, tick);
  return 0;
}

// Runs the settings dialog's logic: `edit` fills the boxes and presses the buttons; OK saves.
template <typename Edit>
int EditSettings(DaemonContext& context, Edit edit) {
  Session session(context);
  ClientCore& core = session.core;
  core.store.LoadSettings(core.state, false);
  CommandLineSetupView view;
  SetupDialog dialog(view, core.services(), core.shell);
  dialog.Load();
  if (!edit(view, dialog)) return 1;
  dialog.Ok();
  return view.closed ? 0 : 1;
}

int Add(DaemonContext& context, const std::string& domain, bool passwordFromStdin) {
  std::string password;
  if (passwordFromStdin) {
    std::getline(context.in, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
  } else if (context.terminal) {
    password = platform::ReadSecretLine("域名管理密码: ", context.err);
  } else {
    return Usage(context, "标准输入不是终端: 请用 --password-stdin 传入密码");
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
                           [&](const std::string& item) { return Lower(item) == Lower(domain); });
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

int Set(DaemonContext& context, const std::string& name, const std::string& value) {
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
  return 0;
}

template <typename Command>
int Once(DaemonContext& context, Command command) {
  Session session(context);
  session.core.store.LoadSettings(session.core.state, false);
  bool ok = false;
  session.core.shell.Guarded([&] { ok = command(session.core.shell); });
  return ok ? 0 : 1;
}

int PrintLog(DaemonContext& context) {
  Session session(context);
  session.core.store.LoadSettings(session.core.state, false);
  const LogSnapshot snapshot = ReadLogSnapshot(session.core.state.logFilePath);
  if (!snapshot.error.empty()) {
    context.err << "无法读取日志文件:" << snapshot.error << std::endl;
    return 1;
  }
  std::string text = snapshot.text;
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  context.out << text;
  return 0;
}

}  // namespace

int RunDaemonCommand(const std::vector<std::string>& args, DaemonContext& context) {
  std::vector<std::string> words;
  bool help = false;
  bool passwordFromStdin = false;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--password-stdin") {
      passwordFromStdin = true;
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
    return 0;
  }
  if (command.empty()) return Usage(context, "缺少命令");
  if (passwordFromStdin && command != "add") return Usage(context, "--password-stdin 只用于 add");
  const std::size_t operands = words.size() - 1;
  if (command == "run" && operands == 0) return Run(context);
  if (command == "add" && operands == 1) return Add(context, words[1], passwordFromStdin);
  if (command == "del" && operands == 1) return Delete(context, words[1]);
  if (command == "list" && operands == 0) return List(context);
  if (command == "set" && operands == 2) return Set(context, words[1], words[2]);
  if (command == "refresh" && operands == 0) {
    return Once(context, [](Shell& shell) { return shell.Refresh(); });
  }
  if (command == "stop" && operands == 0) {
    return Once(context, [](Shell& shell) { return shell.Stop(); });
  }
  if (command == "log" && operands == 0) return PrintLog(context);
  if (kCommandHelp.count(command) > 0) return Usage(context, command + " 的参数不对");
  return Usage(context, "未知的命令: " + command);
}

}  // namespace quorvix
