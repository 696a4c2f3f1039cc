#pragma once

// What a keyboard user meets pressing Tab: the controls visited from `start` until the
// focus comes back to it.

#include <QApplication>
#include <QList>
#include <QSet>
#include <QWidget>
#include <QtTest>
#include <cstdlib>

namespace veltrane::test {

inline QList<QWidget*> TabWalk(QWidget* start) {
  QList<QWidget*> walk;
  start->setFocus(Qt::OtherFocusReason);
  QWidget* at = QApplication::focusWidget();
  while (at != nullptr && walk.size() < 400) {
    walk << at;
    QTest::keyClick(at, Qt::Key_Tab);
    at = QApplication::focusWidget();
    if (at == walk.front()) break;
  }
  return walk;
}

// Every control of the window a user can reach by Tab now: shown, enabled, taking Tab.
inline QSet<QWidget*> Reachable(QWidget* window) {
  QSet<QWidget*> reachable;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if ((w->focusPolicy() & Qt::TabFocus) != 0 && w->focusProxy() == nullptr &&
        w->isVisibleTo(window) && w->isEnabled()) {
      reachable.insert(w);
    }
  }
  return reachable;
}

// Reading order: each next control is on the same row further right, or on a lower row.
inline QString FirstOutOfReadingOrder(QWidget* window, const QList<QWidget*>& walk) {
  for (qsizetype i = 1; i < walk.size(); ++i) {
    const QPoint a = walk[i - 1]->mapTo(window, walk[i - 1]->rect().center());
    const QPoint b = walk[i]->mapTo(window, walk[i]->rect().center());
    const bool same_row = std::abs(b.y() - a.y()) <= 8;
    if (same_row ? b.x() <= a.x() : b.y() < a.y()) {
      return walk[i - 1]->objectName() + QStringLiteral(" -> ") + walk[i]->objectName();
    }
  }
  return {};
}

}  // namespace veltrane::test
