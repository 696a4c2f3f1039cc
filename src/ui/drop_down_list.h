#pragma once

// The drop-down list of both windows. It changes only while it has the focus (after a
// click or Tab): a wheel turned over a list on the way to somewhere else must not change a
// filter type or a limiter and send it to the processor. The wheel then goes on to the
// window, where the detail window's slider rule may take it.

#include <QComboBox>

class QWheelEvent;

namespace veltrane {

class DropDownList : public QComboBox {
  Q_OBJECT

 public:
  explicit DropDownList(QWidget* parent = nullptr);

 protected:
  void wheelEvent(QWheelEvent* event) override;
};

}  // namespace veltrane
