#include "response/acoustic_sum.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "model/channels.h"
#include "response/complex_response.h"

namespace veltrane {
namespace {

std::vector<MeasuredPoint> UsablePoints(const MeasuredResponse& measured) {
  std::vector<MeasuredPoint> points;
  for (const MeasuredPoint& p : measured.points) {
    const bool finite =
        std::isfinite(p.hz) && std::isfinite(p.level_db) && std::isfinite(p.phase_deg);
    if (finite && p.hz > 0) points.push_back(p);
  }
  std::stable_sort(points.begin(), points.end(),
                   [](const MeasuredPoint& a, const MeasuredPoint& b) { return a.hz < b.hz; });
  // The same frequency twice would divide by zero below; the first one stays.
  points.erase(
      std::unique(points.begin(), points.end(),
                  [](const MeasuredPoint& a, const MeasuredPoint& b) { return a.hz == b.hz; }),
      points.end());
  // Measured phase comes wrapped; between neighbours it is taken to turn by less than a
  // half turn, so interpolating never crosses a wrap.
  for (std::size_t i = 1; i < points.size(); ++i) {
    const double step = points[i].phase_deg - points[i - 1].phase_deg;
    points[i].phase_deg -= 360 * std::round(step / 360);
  }
  return points;
}

std::complex<double> FromLevelAndPhase(double level_db, double phase_deg) {
  return std::polar(std::pow(10.0, level_db / 20), phase_deg * std::numbers::pi / 180);
}

}  // namespace

std::vector<std::complex<double>> InterpolateMeasurement(const MeasuredResponse& measured,
                                                         std::span<const double> hz) {
  const std::vector<MeasuredPoint> points = UsablePoints(measured);
  std::vector<std::complex<double>> values;
  if (points.empty()) return values;
  values.reserve(hz.size());
  for (const double f : hz) {
    const auto upper = std::lower_bound(points.begin(), points.end(), f,
                                        [](const MeasuredPoint& p, double v) { return p.hz < v; });
    if (upper == points.begin() || upper == points.end()) {
      const MeasuredPoint& end = upper == points.begin() ? points.front() : points.back();
      values.push_back(FromLevelAndPhase(end.level_db, end.phase_deg));
      continue;
    }
    const MeasuredPoint& a = *(upper - 1);
    const MeasuredPoint& b = *upper;
    const double t = (f - a.hz) / (b.hz - a.hz);
    values.push_back(FromLevelAndPhase(a.level_db + t * (b.level_db - a.level_db),
                                       a.phase_deg + t * (b.phase_deg - a.phase_deg)));
  }
  return values;
}

AcousticSum PredictAcousticSum(const ParameterModel& model,
                               std::span<const OutputMeasurement> outputs,
                               std::span<const double> hz) {
  AcousticSum result;
  std::vector<int> channels;
  std::vector<std::vector<std::complex<double>>> drivers;
  for (const OutputMeasurement& output : outputs) {
    // Only outputs are summed, so the curves below line up with the drivers.
    if (!IsOutput(output.channel)) continue;
    channels.push_back(output.channel);
    if (!output.measured || !output.measured->has_phase) {
      result.electrical_only = true;
      continue;
    }
    drivers.push_back(InterpolateMeasurement(*output.measured, hz));
    if (drivers.back().empty()) result.electrical_only = true;
  }
  const OutputCurves curves = ComputeOutputCurves(model, channels, FrequencyGrid(hz));
  result.sum.assign(hz.size(), 0.0);
  for (std::size_t k = 0; k < curves.outputs.size(); ++k) {
    for (std::size_t i = 0; i < hz.size(); ++i) {
      const std::complex<double> driver = result.electrical_only ? 1.0 : drivers[k][i];
      result.sum[i] += curves.each[k][i].h * driver;
    }
  }
  return result;
}

}  // namespace veltrane
