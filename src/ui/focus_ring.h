#pragma once

// A clear ring around the control that the keyboard moved the focus to: the style's own
// focus mark is hard to see on the dark and silver controls of these windows.

#include <QPointer>
#include <QWidget>

namespace veltrane {

class FocusRing : public QWidget {
  Q_OBJECT

 public:
  // Follows the focus inside `window` (a child of it, drawn over the controls).
  explicit FocusRing(QWidget* window);

  // The control the ring is around, or null while it is hidden.
  QWidget* Target() const { return isVisible() ? target_.data() : nullptr; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Surround(QWidget* target);

  QWidget* window_;
  QPointer<QWidget> target_;
};

}  // namespace veltrane
