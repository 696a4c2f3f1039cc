#pragma once

// "About VELTRANE PROCESSOR…" in a window's context menu: the fixed layout has no menu bar
// and no free corner, so the version lives one right-click away.

#include <QString>

class QAction;
class QWidget;

namespace veltrane {

// The program's name, version and what it is for.
QString AboutText();

// Gives `window` a context menu of its actions (if it has none yet) and adds the entry.
QAction* AddAboutAction(QWidget* window);

}  // namespace veltrane
