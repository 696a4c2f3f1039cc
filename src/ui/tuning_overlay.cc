#include "ui/tuning_overlay.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

#include "model/channels.h"
#include "response/complex_response.h"
#include "response/response_math.h"
#include "tuning/measurement.h"
#include "tuning/prediction.h"
#include "tuning/target.h"
#include "ui/response_graph.h"
#include "ui/widget_colors.h"

namespace veltrane {
namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();
// The grid's rows are 5 dB apart; the first is +10 dB, the 0 dB row is the third.
constexpr double kDbPerRow = 5;
constexpr double kFirstRowDb = 10;

}  // namespace

double SplAtZeroRow(std::span<const double> hz, std::span<const double> level_db, double low_hz,
                    double high_hz) {
  double sum = 0;
  int count = 0;
  for (std::size_t i = 0; i < hz.size() && i < level_db.size(); ++i) {
    if (hz[i] < low_hz || hz[i] > high_hz || !std::isfinite(level_db[i])) continue;
    sum += level_db[i];
    ++count;
  }
  if (count == 0) return 0;
  // The mean one row under 0 dB: room modes rise further above it than the scale's top
  // leaves below, and the processing curves around 0 dB stay apart from it.
  return std::round(sum / count / kDbPerRow) * kDbPerRow + kDbPerRow;
}

std::vector<QPolygon> SplPolylines(std::span<const double> level_db, double spl_at_zero) {
  std::vector<QPolygon> lines(1);
  for (std::size_t i = 0; i < level_db.size(); ++i) {
    if (!std::isfinite(level_db[i])) {
      if (!lines.back().isEmpty()) lines.emplace_back();
      continue;
    }
    lines.back().append(
        QPoint(kFirstCurveColumn + static_cast<int>(i), TotalToY(level_db[i] - spl_at_zero)));
  }
  if (lines.back().isEmpty()) lines.pop_back();
  return lines;
}

void DrawSplScale(QPainter& painter, double spl_at_zero, int channel) {
  painter.save();
  painter.setFont(GridLabelFont());
  const QFontMetrics metrics(GridLabelFont(), painter.device());
  const int right = kGraphWidth - 8;  // inside the frame
  const auto label = [&](const QString& text, int centre_y) {
    const int w = metrics.horizontalAdvance(text);
    const QRect box(right - w, centre_y - metrics.height() / 2, w, metrics.height());
    painter.fillRect(box, kGraphLabelBackground);
    painter.setPen(kSplScaleColor);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
  };
  const std::array<int, kGridRowCount> rows = GridRows(kGraphHeight);
  for (int r = 0; r < kGridRowCount; ++r) {
    label(QString::number(spl_at_zero + kFirstRowDb - kDbPerRow * r, 'f', 0), rows[r]);
  }
  const std::string_view caption = kChannelCaptions[channel];
  // In the all-channels view nothing else says whose measurement this is.
  label(QStringLiteral("%1 dB SPL")
            .arg(QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size()))),
        8);
  painter.restore();
}

TuningOverlay::TuningOverlay(const ParameterModel& model, const EditorState& state,
                             TuningSession& session)
    : model_(model), state_(state), session_(session), columns_(CurveColumnFrequencies()) {}

int TuningOverlay::Channel() const {
  if (state_.single_channel_mode && state_.shown_channel >= 1 &&
      state_.shown_channel <= kChannelCount) {
    return state_.shown_channel - 1;
  }
  return last_channel_;
}

bool TuningOverlay::HasCurves() const {
  if (!Shown(OverlayCurve::kMeasurement) && !Shown(OverlayCurve::kTarget) &&
      !Shown(OverlayCurve::kPredicted)) {
    return false;
  }
  const int channel = Channel();
  if (channel < 0 || channel >= kChannelCount) return false;
  const std::optional<ChannelMeasurement>& measurement = session_.channels[channel];
  return measurement && measurement->averaged.points.size() >= 2;
}

bool TuningOverlay::Refresh(int channel) {
  const std::optional<ChannelMeasurement>& measurement = session_.channels[channel];
  if (!measurement || measurement->averaged.points.size() < 2) return false;
  const MeasuredResponse smoothed = Smooth(measurement->averaged, measurement->smoothing);
  if (smoothed.points.size() < 2) return false;
  const auto [low, high] = std::minmax_element(
      smoothed.points.begin(), smoothed.points.end(),
      [](const MeasuredPoint& a, const MeasuredPoint& b) { return a.hz < b.hz; });
  const std::vector<double> levels = LevelsAt(smoothed, columns_);
  const std::vector<double> target =
      TargetLevels(session_.target, columns_, levels, settings_.low_hz, settings_.high_hz);
  // Outside what was measured there is nothing to show: a held end would look measured.
  cached_.measured.assign(columns_.size(), kNoValue);
  cached_.target.assign(columns_.size(), kNoValue);
  measured_columns_ = 0;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i] < low->hz || columns_[i] > high->hz) continue;
    if (measured_columns_++ == 0) first_column_ = i;
    cached_.measured[i] = levels[i];
    if (i < target.size()) cached_.target[i] = target[i];
  }
  cached_.spl_at_zero = SplAtZeroRow(columns_, levels, settings_.low_hz, settings_.high_hz);
  return measured_columns_ > 0;
}

std::optional<TuningOverlay::Curves> TuningOverlay::Compute() {
  const int channel = Channel();
  if (channel < 0 || channel >= kChannelCount) return std::nullopt;
  if (channel != cached_channel_) {
    // A refresh that finds nothing must not leave the cache claiming an earlier channel.
    cached_channel_ = -1;
    if (!Refresh(channel)) return std::nullopt;
    cached_channel_ = channel;
  }
  Curves curves = cached_;
  curves.predicted.assign(columns_.size(), kNoValue);
  // Only the measured columns, from the levels already there: the drag redraws this on
  // every move.
  const std::span<const double> hz(columns_.data() + first_column_, measured_columns_);
  const std::span<const double> measured(cached_.measured.data() + first_column_,
                                         measured_columns_);
  const std::vector<double> predicted = PredictedLevels(model_, channel, measured, hz);
  std::copy(predicted.begin(), predicted.end(), curves.predicted.begin() + first_column_);
  return curves;
}

bool TuningOverlay::Draw(QPainter& painter) {
  if (!Shown(OverlayCurve::kMeasurement) && !Shown(OverlayCurve::kTarget) &&
      !Shown(OverlayCurve::kPredicted)) {
    return false;
  }
  const std::optional<Curves> curves = Compute();
  if (!curves) return false;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  // Between the top and the bottom grid rows: a curve far below the scale stops at its
  // edge instead of running over the frequency labels.
  const std::array<int, kGridRowCount> rows = GridRows(kGraphHeight);
  painter.setClipRect(QRect(0, rows.front(), kGraphWidth, rows.back() - rows.front() + 1));
  const auto draw = [&](OverlayCurve which, const std::vector<double>& levels, const QPen& pen) {
    if (!Shown(which)) return;
    painter.setPen(pen);
    for (const QPolygon& line : SplPolylines(levels, curves->spl_at_zero)) {
      painter.drawPolyline(line);
    }
  };
  draw(OverlayCurve::kMeasurement, curves->measured, QPen(kMeasurementColor, 1));
  draw(OverlayCurve::kTarget, curves->target, QPen(kTargetColor, 1, Qt::DashLine));
  draw(OverlayCurve::kPredicted, curves->predicted, QPen(kPredictedColor, 2));
  painter.restore();
  DrawSplScale(painter, curves->spl_at_zero, Channel());
  return true;
}

}  // namespace veltrane
