#include "ui/windows/frm_view_log.h"

#include <QFont>
#include <algorithm>
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
  // Show the newest lines. The layout's box holds 23 rows of the system font; with a taller
  // font it holds fewer, and the scroll follows the rows it really shows, so that the last
  // line is never hidden.
  const int frame = ui_->txtLog->frameWidth() * 2 +
                    static_cast<int>(ui_->txtLog->document()->documentMargin() * 2);
  const int rowsHeight =
      ui_->txtLog->height() - frame - ui_->txtLog->horizontalScrollBar()->sizeHint().height();
  const int rows = std::max(1, rowsHeight / ui_->txtLog->fontMetrics().lineSpacing());
  ui_->txtLog->verticalScrollBar()->setValue(
      static_cast<int>(ScrollFor(snapshot.lines, static_cast<std::size_t>(rows))));
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
