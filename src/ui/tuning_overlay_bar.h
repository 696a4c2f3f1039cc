#pragma once

// The row above the graph's right half while a measurement is loaded: a box per tuning
// curve (measurement, target, predicted) whose line swatch is also the legend, and the
// smoothing of the measurement shown.

#include <QWidget>
#include <array>

#include "tuning/measurement.h"

class QCheckBox;
class QComboBox;

namespace veltrane {

class TuningOverlay;

// The smoothing list's entries, first to last: none, 1/48 .. 1/1 octave, variable.
std::vector<Smoothing> SmoothingChoices();
QString SmoothingName(const Smoothing& smoothing);

class TuningOverlayBar : public QWidget {
  Q_OBJECT

 public:
  TuningOverlayBar(TuningOverlay& overlay, QWidget* parent = nullptr);

  QCheckBox* CurveBox(int curve) const { return boxes_[curve]; }
  QComboBox* SmoothingList() const { return smoothing_; }
  // Shows a measurement's smoothing without reporting it as chosen.
  void ShowSmoothing(const Smoothing& smoothing);

 signals:
  void CurvesChanged();
  void SmoothingChosen(const Smoothing& smoothing);

 private:
  TuningOverlay& overlay_;
  std::array<QCheckBox*, 3> boxes_{};
  QComboBox* smoothing_ = nullptr;
};

}  // namespace veltrane
