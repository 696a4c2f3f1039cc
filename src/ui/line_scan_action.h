#pragma once

// "Scan line…" in the main window's context menu, while no connection is open: the
// selected serial port's line is scanned for processors, and the device-number list marks
// the numbers that answered (bold, with a tooltip saying what was found), so the user
// picks a number that exists. The entries keep their texts and DeviceId its meaning.

#include <QObject>
#include <memory>
#include <span>

#include "access/line_scan.h"
#include "protocol/engine.h"
#include "protocol/view.h"

class QAction;
class QPushButton;

namespace veltrane {

class MainWindow;

class LineScanAction : public QObject {
  Q_OBJECT

 public:
  // The port is the one the engine connects through; while a scan runs, its bytes are
  // handed to OnBytes instead of the engine.
  LineScanAction(MainWindow& main, TimerHost& timers, ProtocolEngine& engine, SerialPort& port,
                 OperationView& view);
  ~LineScanAction() override;

  bool Scanning() const { return scanner_.Running(); }
  int AskedNumber() const { return scanner_.CurrentNumber(); }
  void OnBytes(std::span<const std::uint8_t> bytes) { scanner_.OnBytes(bytes); }
  QAction* Action() const { return action_; }
  // Under the progress box while a scan runs; stops it at once.
  QPushButton* CancelButton() const { return cancel_; }
  // Starts a scan of the selected port (what the menu entry does); false when none ran.
  bool Scan(int reply_ms = kDefaultScanReplyMs);

 private:
  void Show(const std::vector<LineScanEntry>& found, const QString& port);
  void Summarize(const std::vector<LineScanEntry>& found, const QString& port, bool cancelled);
  void ShowCancel(bool shown);
  void UpdateEnabled();

  MainWindow& main_;
  ProtocolEngine& engine_;
  OperationView& view_;
  LineScanner scanner_;
  QAction* action_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool cancelled_ = false;
};

}  // namespace veltrane
