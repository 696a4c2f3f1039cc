#pragma once

// The processor as drawn in the block diagram between the input and output strips:
// decoration only, painted so that no artwork file has to ship with the editor.

#include <QWidget>

namespace veltrane {

class ProcessorPicture : public QWidget {
  Q_OBJECT

 public:
  explicit ProcessorPicture(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace veltrane
