#pragma once

// The pages that show every channel side by side: "Gain" and " Delay " (one slider group
// per channel), "Limiters" (one column of four lists per output) and the never-shown
// "Mixer" (one route list per output). The groups of In B and Out 4 exist but stay hidden.

#include <QGroupBox>
#include <QWidget>
#include <array>

#include "ui/detail_context.h"

class QComboBox;
class QLabel;
class QSlider;

namespace veltrane {

class LevelSlider : public QGroupBox {
  Q_OBJECT

 public:
  enum class Kind { kGain, kDelay };

  LevelSlider(DetailContext& context, Kind kind, int channel, QWidget* parent = nullptr);

  // Refresh: position and label from the model, without counting as a change.
  void ShowFromModel();

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  void OnValueChanged(int position);
  void SetGestureOpen(bool open);
  // The delay also as the distance sound travels in it, on the slider and its label.
  void ShowDistance(int delay_steps);

  DetailContext& context_;
  Kind kind_;
  int channel_;
  QSlider* slider_ = nullptr;
  QLabel* value_ = nullptr;
  bool gesture_open_ = false;
};

class SliderPage : public QWidget {
  Q_OBJECT

 public:
  SliderPage(DetailContext& context, LevelSlider::Kind kind, QWidget* parent = nullptr);

  LevelSlider* Group(int channel) const { return groups_[channel]; }
  void ShowFromModel();

 private:
  std::array<LevelSlider*, kChannelCount> groups_{};
};

// Threshold, attack, release and ratio of one output.
class LimiterColumn : public QGroupBox {
  Q_OBJECT

 public:
  LimiterColumn(DetailContext& context, int channel, QWidget* parent = nullptr);

  void ShowFromModel();
  QComboBox* List(int row) const { return lists_[row]; }

 private:
  DetailContext& context_;
  int channel_;
  std::array<QComboBox*, 4> lists_{};
};

class LimiterPage : public QWidget {
  Q_OBJECT

 public:
  LimiterPage(DetailContext& context, QWidget* parent = nullptr);

  void ShowFromModel();

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The row labels sit outside the framed columns, so they follow the lists' positions.
  void AlignRowLabels();

  std::array<QLabel*, 4> row_labels_{};
  std::array<LimiterColumn*, kOutputCount> columns_{};
};

class MixerPage : public QWidget {
  Q_OBJECT

 public:
  MixerPage(DetailContext& context, QWidget* parent = nullptr);

  void ShowFromModel();

 private:
  DetailContext& context_;
  std::array<QComboBox*, kOutputCount> routes_{};
};

}  // namespace veltrane
