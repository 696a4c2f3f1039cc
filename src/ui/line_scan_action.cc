#include "ui/line_scan_action.h"

#include <QAction>
#include <QComboBox>
#include <QFont>
#include <QPushButton>
#include <utility>

#include "ui/main_window.h"
#include "ui/progress_box.h"

namespace veltrane {

LineScanAction::LineScanAction(MainWindow& main, TimerHost& timers, ProtocolEngine& engine,
                               SerialPort& port, OperationView& view)
    : main_(main), engine_(engine), view_(view), scanner_(timers, port) {
  action_ = new QAction(QStringLiteral("Scan line\u2026"), &main_);
  action_->setObjectName(QStringLiteral("ScanLineAction"));
  main_.addAction(action_);
  main_.setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(action_, &QAction::triggered, this, [this] { Scan(); });
  connect(&main_, &MainWindow::ConnectionShown, this, [this] { UpdateEnabled(); });
  UpdateEnabled();

  // A child of the window itself: the panels are disabled while the line is busy.
  cancel_ = new QPushButton(QStringLiteral("Cancel"), &main_);
  cancel_->setObjectName(QStringLiteral("CancelScanButton"));
  const QRect box = main_.TransferBox()->geometry();
  cancel_->setGeometry(box.center().x() - 40, box.bottom() + 8, 80, 26);
  cancel_->hide();
  connect(cancel_, &QPushButton::clicked, this, [this] {
    cancelled_ = true;
    scanner_.Cancel();
  });
}

void LineScanAction::ShowCancel(bool shown) {
  cancel_->setVisible(shown);
  if (shown) {
    cancel_->raise();
    cancel_->setFocus(Qt::OtherFocusReason);
  }
}

LineScanAction::~LineScanAction() = default;

void LineScanAction::UpdateEnabled() {
  action_->setEnabled(!engine_.Connected() && !engine_.Connecting() && !scanner_.Running());
}

bool LineScanAction::Scan(int reply_ms) {
  if (engine_.Connected() || engine_.Connecting() || scanner_.Running()) return false;
  const QString port = main_.PortList()->currentText();
  const auto progress = [this](int number) { view_.SetTransferProgress(number * 100 / 256); };
  const auto done = [this, port](std::vector<LineScanEntry> found) {
    ShowCancel(false);
    view_.ShowTransferBox(false);
    view_.SetOperationPanelsEnabled(true);
    Show(found, port);
    UpdateEnabled();
    Summarize(found, port, std::exchange(cancelled_, false));
  };
  view_.SetTransferProgress(0);
  view_.ShowTransferBox(true);
  view_.SetOperationPanelsEnabled(false);
  if (port.isEmpty() || !scanner_.Start(port.toStdString(), 1, 256, reply_ms, progress, done)) {
    view_.ShowTransferBox(false);
    view_.SetOperationPanelsEnabled(true);
    view_.ShowMessage(kMsgNoPort);
    return false;
  }
  cancelled_ = false;
  ShowCancel(true);
  UpdateEnabled();
  return true;
}

// The bold entries are easy to miss in a list of 256: the result is also said in words.
void LineScanAction::Summarize(const std::vector<LineScanEntry>& found, const QString& port,
                               bool cancelled) {
  QStringList answered;
  QStringList garbled;
  for (const LineScanEntry& entry : found) {
    (entry.garbled ? garbled : answered) << QString::number(entry.device_number);
  }
  QStringList lines;
  if (cancelled) {
    lines << QStringLiteral("Scan of %1 cancelled at device number %2.")
                 .arg(port)
                 .arg(scanner_.CurrentNumber());
  }
  if (answered.isEmpty() && garbled.isEmpty()) {
    lines << QStringLiteral("No processor answered on %1.").arg(port);
  }
  if (!answered.isEmpty()) {
    lines << QStringLiteral("Processors answered on %1 at device numbers: %2.")
                 .arg(port, answered.join(QStringLiteral(", ")));
  }
  if (!garbled.isEmpty()) {
    lines << QStringLiteral("Garbled answers, possibly two processors with the same number: %1.")
                 .arg(garbled.join(QStringLiteral(", ")));
  }
  const std::string text = lines.join(QLatin1Char('\n')).toStdString();
  view_.ShowMessage(text);
}

void LineScanAction::Show(const std::vector<LineScanEntry>& found, const QString& port) {
  QComboBox* list = main_.DeviceIdList();
  for (int i = 0; i < list->count(); ++i) {
    list->setItemData(i, QVariant(), Qt::FontRole);
    list->setItemData(i, QVariant(), Qt::ToolTipRole);
  }
  QStringList numbers;
  QFont bold = list->font();
  bold.setBold(true);
  for (const LineScanEntry& entry : found) {
    const int index = entry.device_number - 1;
    list->setItemData(index, bold, Qt::FontRole);
    list->setItemData(
        index,
        entry.garbled
            ? QStringLiteral("Device %1: garbled answers on %2, possibly two "
                             "processors with this number")
                  .arg(entry.device_number)
                  .arg(port)
            : QStringLiteral("Device %1 answered on %2").arg(entry.device_number).arg(port),
        Qt::ToolTipRole);
    numbers << QString::number(entry.device_number) +
                   (entry.garbled ? QStringLiteral("?") : QString());
  }
  list->setToolTip(found.empty() ? QStringLiteral("Scan of %1: no processor answered").arg(port)
                                 : QStringLiteral("Scan of %1: %2 answered (bold in the list)")
                                       .arg(port, numbers.join(QStringLiteral(", "))));
}

}  // namespace veltrane
