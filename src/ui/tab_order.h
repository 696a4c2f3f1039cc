#pragma once

// Tab order in reading order: the windows place their controls by coordinates or in nested
// layouts, so creation order is not what the eye follows.

#include <QList>

class QWidget;

namespace veltrane {

// The controls of `window` that Tab can reach, top row first, each row left to right. A
// row is a run of controls whose vertical centres lie within a few pixels of its first one.
QList<QWidget*> ReadingOrder(QWidget* window);
// Chains ReadingOrder(window) as the window's Tab order.
void ApplyReadingTabOrder(QWidget* window);

}  // namespace veltrane
