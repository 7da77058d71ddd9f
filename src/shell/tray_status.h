// The notification icon and what it shows: grey "正在连接" while connecting, the coloured
// emblem with "解析成功" after a successful update, grey "解析失败/停止" after a failure or a stop.
#pragma once

#include <string_view>

#include "base/desktop.h"

namespace quorvix {

inline constexpr std::string_view kTipConnecting = "正在连接";
inline constexpr std::string_view kTipSucceeded = "解析成功";
inline constexpr std::string_view kTipFailed = "解析失败/停止";

class TrayStatus {
 public:
  explicit TrayStatus(Desktop& desktop) : desktop_(desktop) {}

  // Installs the hook, then adds the grey icon with "正在连接".
  void AddTrayIcon();
  // Removes the hook, then deletes the icon.
  void RemoveTrayIcon();
  // Replace one field and send a modify request with the whole record.
  void SetTrayTip(std::string_view tip);
  void SetTrayIcon(TrayImage image);
  // The success or failure state: the image first, then the tip (two modify requests).
  void Stop_Connect_status(bool ok);
  // "正在连接" as the tip; the image stays.
  void Start_Connect_status();

  const TrayRecord& record() const { return trayIconData_; }

 private:
  Desktop& desktop_;
  TrayRecord trayIconData_;
};

}  // namespace quorvix
