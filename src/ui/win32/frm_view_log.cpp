#include "ui/win32/frm_view_log.h"

#include "platform/win32_text.h"
#include "ui/windows/log_viewer.h"

namespace quorvix::win32 {

frmViewLog::frmViewLog(ShellServices services, Shell& shell) : s_(services), shell_(shell) {
  if (!Create(kViewLogForm, nullptr, nullptr)) return;
  const LogSnapshot snapshot = ReadLogSnapshot(s_.state.logFilePath);
  if (!snapshot.error.empty()) {
    s_.desktop.ShowMessage("无法读取日志文件:" + snapshot.error, "出错信息", MessageIcon::Warning);
  }
  const HWND box = Control(kTxtLog);
  // The box takes logs of any length, not only the 32,767 characters it takes by default.
  ::SendMessageW(box, EM_SETLIMITTEXT, 0, 0);
  ::SetWindowTextW(box, platform::Widen(snapshot.text).c_str());
  // The newest lines in view: down by the line count less 23, as the box's rows were counted.
  const std::size_t scroll = ScrollFor(snapshot.lines);
  if (scroll > 0) ::SendMessageA(box, EM_LINESCROLL, 0, static_cast<LPARAM>(scroll));
  ShowForward();
}

frmViewLog::~frmViewLog() { Close(); }

int frmViewLog::firstVisibleLine() const {
  return static_cast<int>(::SendMessageW(Control(kTxtLog), EM_GETFIRSTVISIBLELINE, 0, 0));
}

void frmViewLog::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return;
  if (id == kLogOk) Close();
  if (id == kLogClear) shell_.Guarded([this] { Clear(); });
}

void frmViewLog::Clear() {
  const ClearResult result = ClearLogFile(s_.state.logFilePath);
  if (result.deleted) {
    ::SetWindowTextW(Control(kTxtLog), L"");
  } else if (result.existed) {
    s_.desktop.ShowMessage("无法删除日志文件:" + result.error, "出错信息", MessageIcon::Warning);
  }
}

}  // namespace quorvix::win32
