#pragma once

// The tuning assistant on the response graph: a channel's measurement (smoothed), its
// target and the predicted result (the measurement through the channel's processing),
// drawn in true dB SPL against a second level scale at the right, so that a measurement
// around 85 dB SPL sits among the processing curves without moving their scale. Only the
// predicted curve is computed on each redraw, on the graph's columns, so that it can
// follow a drag.

#include <QColor>
#include <QPolygon>
#include <optional>
#include <span>
#include <vector>

#include "model/parameter_model.h"
#include "tuning/eq_fit.h"
#include "tuning/tuning_session.h"
#include "ui/editor_state.h"

class QPainter;

namespace veltrane {

inline const QColor kMeasurementColor(0, 220, 110);
inline const QColor kTargetColor(220, 220, 220);
inline const QColor kPredictedColor(255, 255, 255);
// The dB SPL scale: the measurement's green, a shade darker, so it reads as its scale and
// never as part of the curve.
inline const QColor kSplScaleColor(0, 190, 95);

enum class OverlayCurve { kMeasurement, kTarget, kPredicted };

// The dB SPL at the graph's 0 dB row: the measurement's mean over [low_hz, high_hz],
// rounded to the 5 dB of a grid row, falls on the -5 dB row; the scale's labels are whole
// rows.
double SplAtZeroRow(std::span<const double> hz, std::span<const double> level_db, double low_hz,
                    double high_hz);

// Polylines over the curve columns of levels in dB SPL, one value per column; a value that
// is not finite (outside the measurement, a muted channel) leaves a gap.
std::vector<QPolygon> SplPolylines(std::span<const double> level_db, double spl_at_zero);

// The second scale: dB SPL beside the grid rows, inside the graph's right edge, under a
// caption that names the channel measured.
void DrawSplScale(QPainter& painter, double spl_at_zero, int channel);

class TuningOverlay {
 public:
  TuningOverlay(const ParameterModel& model, const EditorState& state, TuningSession& session);

  TuningSession& Session() { return session_; }
  // The range, boost and bands of the last fit; the range also places the target and the
  // scale.
  FitSettings& Settings() { return settings_; }

  // The channel whose curves are drawn: the detail window's channel page, else the channel
  // last imported or fitted.
  int Channel() const;
  void SetLastChannel(int channel) { last_channel_ = channel; }

  bool Shown(OverlayCurve curve) const { return shown_[static_cast<int>(curve)]; }
  void SetShown(OverlayCurve curve, bool shown) { shown_[static_cast<int>(curve)] = shown; }

  // A measurement, its smoothing, the target or the range changed.
  void Invalidate() { cached_channel_ = -1; }

  // The curves of Channel() on the graph's columns, or nothing without a measurement.
  struct Curves {
    std::vector<double> measured;  // smoothed; NaN outside the measured range
    std::vector<double> target;
    std::vector<double> predicted;  // with the model's processing now
    double spl_at_zero = 0;
  };
  std::optional<Curves> Compute();

  // A curve is switched on and the channel shown has a measurement to draw it from.
  bool HasCurves() const;

  // Draws what is switched on, and the scale; false when there is nothing to draw.
  bool Draw(QPainter& painter);

 private:
  bool Refresh(int channel);

  const ParameterModel& model_;
  const EditorState& state_;
  TuningSession& session_;
  FitSettings settings_;
  int last_channel_ = -1;
  std::array<bool, 3> shown_{true, true, true};
  // Worked out once per measurement, smoothing, target and range.
  int cached_channel_ = -1;
  std::vector<double> columns_;
  // The columns the measurement covers, one run: first_column_ and their count.
  std::size_t first_column_ = 0;
  std::size_t measured_columns_ = 0;
  Curves cached_;
};

}  // namespace veltrane
