#include "ui/windows/frm_view_log.h"

#include <QFont>
#include <QScrollBar>

#include "ui/qt_text.h"
#include "ui/windows/log_viewer.h"
#include "ui/place_window.h"
#include "ui_frmViewLog.h"

namespace quorvix {

frmViewLog::frmViewLog(ShellServices services, Shell& shell, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::frmViewLog>()), s_(services), shell_(shell) {
  ui_->setupUi(this);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(size());
  PlaceInTheMiddle(*this);
  const LogSnapshot snapshot = ReadLogSnapshot(s_.state.logFilePath);
  if (!snapshot.error.empty()) {
    s_.desktop.ShowMessage("无法读取日志文件:" + snapshot.error, "出错信息", MessageIcon::Warning);
  }
  // Tab stops every eight characters, as in the system's own edit boxes.
  ui_->txtLog->setTabStopDistance(ui_->txtLog->fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 8);
  ui_->txtLog->setPlainText(Qt8(snapshot.text));
  // Show the newest lines: the first visible line is the (count - 23)th.
  ui_->txtLog->verticalScrollBar()->setValue(static_cast<int>(snapshot.scroll));
  connect(ui_->Command1, &QPushButton::clicked, this, &QDialog::close);
  connect(ui_->Command2, &QPushButton::clicked, this, [this] { shell_.Guarded([this] { Clear(); }); });
}

frmViewLog::~frmViewLog() = default;

int frmViewLog::scrolledLines() const { return ui_->txtLog->verticalScrollBar()->value(); }

void frmViewLog::Clear() {
  const ClearResult result = ClearLogFile(s_.state.logFilePath);
  if (result.deleted) {
    ui_->txtLog->setPlainText(QString());
  } else if (result.existed) {
    s_.desktop.ShowMessage("无法删除日志文件:" + result.error, "出错信息", MessageIcon::Warning);
  }
}

}  // namespace quorvix
