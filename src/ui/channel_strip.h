#pragma once

// One channel's row of buttons in the block diagram. The strip only shows state and
// reports clicks; the main window decides what a click does to the model.

#include <QWidget>
#include <array>

class QLabel;
class QPushButton;

namespace veltrane {

enum class StripButton { kMixer, kMute, kPolarity, kGain, kDelay, kEq, kXOver, kLimiter };
inline constexpr int kStripButtonCount = 8;

class ChannelStrip : public QWidget {
  Q_OBJECT

 public:
  // Placed by the caller; `channel` is a ChannelId.
  ChannelStrip(int channel, QWidget* parent = nullptr);

  int Channel() const { return channel_; }
  // Null for the buttons an input strip does not have (Mixer, Limiter).
  QPushButton* Button(StripButton button) const;
  QLabel* RowLabel() const { return row_label_; }

  void ShowMuteColor(const QColor& color);
  void ShowPolarity(bool inverted);  // "Pol-" when inverted, "Pol+" otherwise

 signals:
  void Clicked(int channel, veltrane::StripButton button);

 private:
  int channel_;
  std::array<QPushButton*, kStripButtonCount> buttons_{};
  QLabel* row_label_ = nullptr;
};

// Where a strip sits inside the block diagram: its left edge and row, and the x of each
// button relative to that edge.
struct StripPlacement {
  int x = 0;
  int y = 0;
  int width = 0;
};
StripPlacement PlacementOfStrip(int channel);

}  // namespace veltrane
