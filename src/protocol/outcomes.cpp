#include "protocol/outcomes.h"

#include <algorithm>
#include <string>

#include "protocol/reply_parse.h"
#include "settings/domain_list.h"

namespace quorvix {
namespace {

// The texts and character positions in which the START and STOP outcomes differ.
struct UpdateTexts {
  std::string_view noData;
  std::string_view serverError;
  std::string_view success;       // "域名" + domain + success
  std::string_view failure;       // "域名" + domain + failure + text
  std::size_t textFromWhenOk;     // RET-CODE "200": the failure text starts at this character
  std::size_t textFromOtherwise;  // any other RET-CODE
  std::string_view refusal;       // RET-CODE "500": refusal + RET-INFO
};

constexpr UpdateTexts kStartTexts{
    "_START命令,服务器未返回数据", "_START命令,服务器错误", "动态解析成功", "动态解析失败,", 4, 5,
    "动态解析域名失败,结果:"};
constexpr UpdateTexts kStopTexts{
    "_STOP命令,服务器未返回数据", "_STOP命令,服务器错误", "停止解析成功", "停止解析失败,", 5, 4,
    "停止解析域名失败,结果:"};

// Calls visit(domain, result) for each item of a RET-DMLIST that holds a "|".
template <typename Visit>
void ForEachResult(std::string_view list, Visit visit) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    const std::string_view item = list.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    if (const std::size_t bar = item.find('|'); bar != std::string_view::npos) {
      visit(item.substr(0, bar), item.substr(bar + 1));
    }
    if (comma == std::string_view::npos) return;
    start = comma + 1;
  }
}

std::string FailureLine(const UpdateTexts& texts, std::string_view domain, std::string_view result,
                        std::size_t from) {
  return "域名" + std::string(domain) + std::string(texts.failure) +
         TextFromCharacter(result, from);
}

bool WasSent(const UpdateExchange& exchange, std::string_view domain) {
  if (!exchange.sent) return true;
  return std::any_of(exchange.sent->begin(), exchange.sent->end(),
                     [&](const std::string& sent) { return SameDomainName(sent, domain); });
}

// Visits the results for sent domains only; the others are counted and named in one verbose
// line, so a reply cannot claim, or write lines about, domains this client never asked for.
template <typename Visit>
void ForEachSentResult(std::string_view list, EventLog& log, UpdateExchange& exchange,
                       Visit visit) {
  ForEachResult(list, [&](std::string_view domain, std::string_view result) {
    if (WasSent(exchange, domain)) {
      visit(domain, result);
    } else {
      ++exchange.unrequested;
    }
  });
  if (exchange.unrequested > 0) {
    log.WriteLog(
        "服务器返回了" + std::to_string(exchange.unrequested) + "个未发送域名的结果,已忽略", true);
  }
}

bool OnUpdateReply(std::string_view reply, EventLog& log, const UpdateTexts& texts,
                   UpdateExchange* given) {
  UpdateExchange own;
  UpdateExchange& exchange = given != nullptr ? *given : own;
  if (reply.empty()) {
    log.WriteLog(texts.noData, true);
    return false;
  }
  if (ReplyStatusCode(reply) != 200) {
    log.WriteLog(texts.serverError, true);
    return false;
  }
  const std::string code = ReplyHeader(reply, "RET-CODE");
  const std::string list = ReplyHeader(reply, "RET-DMLIST");
  const std::string info = ReplyHeader(reply, "RET-INFO");
  if (code == "200") {
    if (list.empty()) {
      log.WriteLog("结果返回有误,域名列表为空", true);
      return false;
    }
    ForEachSentResult(list, log, exchange, [&](std::string_view domain, std::string_view result) {
      const bool ok = result.substr(0, 3) == "200";
      exchange.results.push_back({std::string(domain), ok, std::string(result)});
      if (ok) {
        log.WriteLog("域名" + std::string(domain) + std::string(texts.success), false);
      } else {
        log.WriteLog(FailureLine(texts, domain, result, texts.textFromWhenOk), false);
      }
    });
    // Every domain failed: the command failed, whatever the overall code said.
    return exchange.Count(false) == 0 || exchange.Count(true) > 0;
  }
  if (code == "500") {
    log.WriteLog(std::string(texts.refusal) + info, false);
    return false;
  }
  ForEachSentResult(list, log, exchange, [&](std::string_view domain, std::string_view result) {
    exchange.results.push_back({std::string(domain), false, std::string(result)});
    log.WriteLog(FailureLine(texts, domain, result, texts.textFromOtherwise), false);
  });
  return false;
}

}  // namespace

int UpdateExchange::Count(bool ok) const {
  return static_cast<int>(
      std::count_if(results.begin(), results.end(),
                    [ok](const DomainResult& result) { return result.ok == ok; }));
}

bool OnStartReply(std::string_view reply, EventLog& log, UpdateExchange* exchange) {
  return OnUpdateReply(reply, log, kStartTexts, exchange);
}

bool OnStopReply(std::string_view reply, EventLog& log, UpdateExchange* exchange) {
  return OnUpdateReply(reply, log, kStopTexts, exchange);
}

bool OnGetIpReply(std::string_view reply, ProgramState& state, EventLog& log) {
  if (ReplyStatusCode(reply) != 200) {
    log.WriteLog("获取本机公网IP失败,返回为空", true);
    return false;
  }
  const std::string code = ReplyHeader(reply, "RET-CODE");
  const std::string address = ReplyHeader(reply, "Y-IP");
  if (code != "200") return false;
  state.publicIp = address;
  log.WriteLog("获取本机公网IP成功,IP地址是:" + address, false);
  return true;
}

bool OnGetVerReply(std::string_view reply, ProgramState& state, EventLog& log) {
  constexpr std::string_view kFailed = "获取版本号失败";
  if (ReplyStatusCode(reply) != 200) {
    log.WriteLog(kFailed, true);
    return false;
  }
  const std::string code = ReplyHeader(reply, "RET-CODE");
  const std::string majorText = ReplyHeader(reply, "Major");
  const std::string minorText = ReplyHeader(reply, "Minor");
  if (code != "200") return false;
  std::int16_t major = 0;
  std::int16_t minor = 0;
  if (!ParseInt16(majorText, major) || !ParseInt16(minorText, minor)) {
    log.WriteLog(kFailed, true);  // a version that is no number is no version
    return false;
  }
  state.serverMajor = major;
  state.serverMinor = minor;
  return true;
}

}  // namespace quorvix
