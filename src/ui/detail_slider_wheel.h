#pragma once

// The detail window's wheel rule: a click on a gain or delay slider makes it the wheel
// target; from then on every wheel event over the window moves that slider by exactly one
// step, whatever the size of the delta, until the slider loses the focus. Sliders never
// scroll by themselves, so a wheel over a slider that is not the target does nothing.

#include <QObject>
#include <QString>

class QSlider;
class QWidget;

namespace veltrane {

class SliderWheel : public QObject {
  Q_OBJECT

 public:
  explicit SliderWheel(QWidget* window);

  // Call once the window's widgets exist: watches the sliders' clicks and focus and the
  // wheel over every widget of the window.
  void WatchWindow();

  const QString& Target() const { return target_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* window_;
  QString target_;  // objectName of the slider last clicked
  bool enabled_ = false;
};

}  // namespace veltrane
