#pragma once

// The lower part of the main window: one strip per channel around a picture of the
// processor, and under them the preset, file and device-number controls. It is disabled
// as one panel while an operation owns the processor.

#include <QWidget>
#include <array>

#include "model/channels.h"

namespace veltrane {

class BottomControls;
class ChannelStrip;
class ProcessorPicture;

class BlockDiagram : public QWidget {
  Q_OBJECT

 public:
  explicit BlockDiagram(QWidget* parent = nullptr);

  ChannelStrip* Strip(int channel) const { return strips_[channel]; }
  BottomControls* Controls() const { return controls_; }

 private:
  std::array<ChannelStrip*, kChannelCount> strips_{};
  ProcessorPicture* picture_ = nullptr;
  BottomControls* controls_ = nullptr;
};

}  // namespace veltrane
