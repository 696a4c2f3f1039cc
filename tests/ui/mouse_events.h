#pragma once

// Mouse presses, moves and releases sent straight to a widget, as a drag on the graph.

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace veltrane::test {

inline void SendMouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(pos), QPointF(widget->mapToGlobal(pos)), button, buttons,
                    Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}
inline void Press(QWidget* w, QPoint p) {
  SendMouse(w, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
}
inline void Move(QWidget* w, QPoint p) {
  SendMouse(w, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
}
inline void Release(QWidget* w, QPoint p) {
  SendMouse(w, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
}

}  // namespace veltrane::test
