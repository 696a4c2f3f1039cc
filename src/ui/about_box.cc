#include "ui/about_box.h"

#include <QAction>
#include <QMessageBox>
#include <QWidget>

namespace veltrane {

QString AboutText() {
  return QStringLiteral(
             "<p><b>VELTRANE PROCESSOR</b><br>Editor version %1</p>"
             "<p>Edits and remote-controls the VELTRANE PROCESSOR, a loudspeaker processor "
             "with two inputs and four outputs, over a serial port or USB.</p>"
             "<p>Without a processor, <tt>veltrane --demo</tt> starts a simulated one. "
             "<tt>veltrane-ctl</tt> drives the processor from scripts, "
             "<tt>veltrane-sim</tt> simulates it on a pseudo-terminal.</p>")
      .arg(QStringLiteral(VELTRANE_VERSION));
}

QAction* AddAboutAction(QWidget* window) {
  window->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* action = new QAction(QStringLiteral("About VELTRANE PROCESSOR…"), window);
  action->setObjectName(QStringLiteral("AboutAction"));
  QObject::connect(action, &QAction::triggered, window, [window] {
    // Not a nested event loop, like the protocol's messages: replies keep being handled.
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("About VELTRANE PROCESSOR"),
                                AboutText(), QMessageBox::Ok, window);
    box->setObjectName(QStringLiteral("AboutBox"));
    box->setTextFormat(Qt::RichText);
    box->setIconPixmap(window->windowIcon().pixmap(64, 64));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->show();
  });
  window->addAction(action);
  return action;
}

}  // namespace veltrane
