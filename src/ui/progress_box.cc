#include "ui/progress_box.h"

#include <QLabel>
#include <QProgressBar>

#include "ui/widget_colors.h"

namespace veltrane {

ProgressBox::ProgressBox(const QString& caption, QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Raised);
  setLineWidth(2);
  SetFillColor(this, kSilver);
  resize(362, 78);
  caption_ = new QLabel(caption, this);
  caption_->setGeometry(12, 10, 338, 20);
  QPalette text = caption_->palette();
  text.setColor(QPalette::WindowText, Qt::black);
  caption_->setPalette(text);
  bar_ = new QProgressBar(this);
  bar_->setGeometry(12, 38, 338, 22);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  hide();
}

void ProgressBox::SetPercent(int percent) { bar_->setValue(percent); }

}  // namespace veltrane
