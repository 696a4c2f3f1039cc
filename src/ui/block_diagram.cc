#include "ui/block_diagram.h"

#include "ui/bottom_controls.h"
#include "ui/channel_strip.h"
#include "ui/processor_picture.h"

namespace veltrane {

BlockDiagram::BlockDiagram(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("BlockDiagram"));
  picture_ = new ProcessorPicture(this);
  picture_->setGeometry(392, 8, 92, 156);
  for (int channel = 0; channel < kChannelCount; ++channel) {
    strips_[channel] = new ChannelStrip(channel, this);
    // In B and Out 4 are kept in the model and transferred, but have no visible strip.
    if (channel == kInB || channel == kOut4) strips_[channel]->hide();
  }
  controls_ = new BottomControls(this);
  controls_->setGeometry(0, 172, 969, 124);
}

}  // namespace veltrane
