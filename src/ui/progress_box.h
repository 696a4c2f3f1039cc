#pragma once

// A framed busy box: a caption over a progress bar, hidden until an operation shows it.

#include <QFrame>

class QLabel;
class QProgressBar;

namespace veltrane {

// The captions keep the trailing blanks the boxes have always had.
inline constexpr char kConnectingCaption[] =
    "Please wait,connecting  device..............                        ";
inline constexpr char kTransferCaption[] = "Please wait,sending and receving data.";

class ProgressBox : public QFrame {
  Q_OBJECT

 public:
  ProgressBox(const QString& caption, QWidget* parent = nullptr);

  QLabel* Caption() const { return caption_; }
  QProgressBar* Bar() const { return bar_; }
  void SetPercent(int percent);

 private:
  QLabel* caption_ = nullptr;
  QProgressBar* bar_ = nullptr;
};

}  // namespace veltrane
