#include "ui/detail_slider_wheel.h"

#include <QSlider>
#include <QWheelEvent>
#include <QWidget>

namespace veltrane {

SliderWheel::SliderWheel(QWidget* window) : QObject(window), window_(window) {}

void SliderWheel::WatchWindow() {
  window_->installEventFilter(this);
  for (QWidget* widget : window_->findChildren<QWidget*>()) widget->installEventFilter(this);
}

bool SliderWheel::eventFilter(QObject* watched, QEvent* event) {
  auto* slider = qobject_cast<QSlider*>(watched);
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      if (slider != nullptr) {
        target_ = slider->objectName();
        enabled_ = true;
      }
      return false;
    case QEvent::FocusOut:
      if (slider != nullptr) {
        enabled_ = false;
        target_.clear();
      }
      return false;
    case QEvent::Wheel:
      break;
    default:
      return false;
  }

  const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
  // Horizontal scrolling and the empty begin/end events of touchpads are no wheel turn.
  if (delta == 0) return slider != nullptr;
  if (enabled_ && target_.isEmpty()) enabled_ = false;
  if (enabled_) {
    if (auto* target = window_->findChild<QSlider*>(target_)) {
      target->setValue(target->value() + (delta > 0 ? 1 : -1));
    }
    return true;
  }
  return slider != nullptr;
}

}  // namespace veltrane
