#include "ui/setup/setup_dialog.h"

#include "platform/files.h"
#include "platform/utf8.h"
#include "settings/domain_list.h"
#include "settings/store.h"

namespace quorvix {
namespace {

constexpr std::string_view kErrorPrompt = "出错提示";
constexpr std::string_view kErrorInfo = "出错信息";
constexpr std::string_view kInvalidDomain = "域名无效,请输入正确的域名";

}  // namespace

std::string WwwMessage() {
  return "不能含有www.,假如您的域名是www." + std::string(kExampleDomain) + ",仅需填写" +
         std::string(kExampleDomain) + "即可";
}

std::size_t StoredSize(std::string_view list) { return platform::ToPlatformText(list).size(); }

SetupDialog::SetupDialog(SetupView& view, ShellServices services, Shell& shell)
    : view_(view), s_(services), shell_(shell) {}

void SetupDialog::Load() {
  domainString_ = s_.store.ReadSetting(kSettingDomains);
  for (const DomainEntry& entry : ReadDomainList(domainString_)) view_.AddItem(entry.domain);
  view_.SetOptions(s_.state.glbAutoRun, s_.state.glbMX, s_.state.glbLogVerbose);
  // Last: setting the boxes from code raises their clicks.
  autoRunChanged_ = false;
  domainsChanged_ = false;
}

void SetupDialog::Warn(std::string_view message, std::string_view title) {
  s_.desktop.ShowMessage(message, title, MessageIcon::Warning);
}

void SetupDialog::Refuse(std::string_view message, void (SetupView::*focus)()) {
  Warn(message, kErrorPrompt);
  if (focus != nullptr) (view_.*focus)();
}

void SetupDialog::Add() {
  const std::string domain = view_.DomainText();
  const std::string password = view_.PasswordText();
  if (checkReg("domain", domain) != true) return Refuse(kInvalidDomain, &SetupView::FocusDomain);
  if (platform::Utf8Length(domain) < 3) return Refuse(kInvalidDomain, &SetupView::FocusDomain);
  if (password.empty()) return Refuse("请输入域名管理密码", &SetupView::FocusPassword);
  if (password.find(',') != std::string::npos) {
    return Refuse("管理密码中不可含有逗号,请修改后再设置", &SetupView::FocusPassword);
  }
  if (domain.find('.') == std::string::npos) return Refuse(kInvalidDomain, &SetupView::FocusDomain);
  if (SameDomainName(domain.substr(0, domain.find('.')), "www")) {
    return Refuse(WwwMessage(), &SetupView::FocusDomain);
  }
  for (int i = 0; i < view_.ItemCount(); ++i) {
    if (SameDomainName(view_.ItemText(i), domain)) return Refuse(domain + "已经存在", nullptr);
  }
  str_addDomain(domainString_, domain, password);
  view_.AddItem(domain);
  domainsChanged_ = true;
  view_.SetDomainText("");
  view_.SetPasswordText("");
}

void SetupDialog::Delete() {
  const int selected = view_.SelectedIndex();
  if (selected < 0) return Refuse("请选择要删除的域名", nullptr);
  str_delDomain(domainString_, view_.ItemText(selected));
  view_.RemoveItem(selected);
}

void SetupDialog::TakeBack() {
  const int selected = view_.SelectedIndex();
  if (selected < 0) return;
  const std::string domain = view_.ItemText(selected);
  std::string password;
  // The last entry of that domain gives the password.
  for (const DomainEntry& entry : ReadDomainList(domainString_)) {
    if (entry.domain == domain) password = entry.password;
  }
  str_delDomain(domainString_, domain);
  view_.RemoveItem(selected);
  view_.SetDomainText(domain);
  view_.SetPasswordText(password);
}

void SetupDialog::Ok() {
  if (domainString_.empty()) return Warn("请您输入需要动态解析的域名", kErrorInfo);
  // Also refused: a list the store could not read back (a value of 1024 bytes or more reads as
  // empty), which would lose every domain at the next start.
  if (platform::Utf8Length(domainString_) >= kMaxListCharacters ||
      StoredSize(domainString_) >= kValueBufferSize) {
    return Warn("抱歉,您输入的域名过多!", kErrorInfo);
  }
  const bool autoRun = view_.AutoRunChecked();
  const bool mx = view_.MXChecked();
  const bool verbose = view_.LogVerboseChecked();
  // Every value is attempted; one that fails keeps the dialog open with an error, the program
  // going on as before, instead of letting the user believe the settings were saved.
  bool saved = s_.store.WriteSetting(kSettingDomains, domainString_);
  saved = s_.store.WriteSetting(kSettingAutoRun, BoolWord(autoRun)) && saved;
  saved = s_.store.WriteSetting(kSettingMX, BoolWord(mx)) && saved;
  saved = s_.store.WriteSetting(kSettingLogVerbose, BoolWord(verbose)) && saved;
  if (!saved) return s_.desktop.ShowMessage(kSaveFailedText, kErrorInfo, MessageIcon::Critical);
  ProgramState& state = s_.state;
  state.glbAutoRun = autoRun;
  state.glbMX = mx;
  state.glbLogVerbose = verbose;
  state.hasDomains = true;
  if (autoRunChanged_ && !s_.store.SetAutoRun(state.glbAutoRun) && state.glbAutoRun) {
    s_.desktop.ShowMessage("注册表启动项写入失败,请检查是否开启了杀毒软件禁止本程序改写注册表",
                           kErrorInfo, MessageIcon::Critical);
  }
  if (domainsChanged_) shell_.Refresh();
  view_.CloseDialog();
}

void SetupDialog::Cancel() { view_.CloseDialog(); }

void SetupDialog::Unload() { s_.state.setupWaiting = false; }

void SetupDialog::MenuUpgrade() { s_.desktop.OpenWebPage(WebPageAddress(kUpgradePage)); }
void SetupDialog::MenuHelp() { s_.desktop.OpenWebPage(WebPageAddress(kHelpPage)); }
void SetupDialog::MenuBuy() { s_.desktop.OpenWebPage(WebPageAddress(kPurchasePage)); }

}  // namespace quorvix
