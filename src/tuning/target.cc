#include "tuning/target.h"

#include <cmath>

#include "tuning/measurement.h"

namespace veltrane {
namespace {

// The shape before level alignment, in dB at hz.
double ShapeDb(const TargetSpec& target, double hz) {
  switch (target.kind) {
    case TargetKind::kTilt:
      // Only the slope matters once aligned; 1 kHz is as good a pivot as any.
      return target.tilt_db_per_octave * std::log2(hz / 1000);
    case TargetKind::kHouse: {
      if (!(target.house_hz > 0)) return 0;
      // A smooth shelf in log frequency: all of the rise well below house_hz, half of it at
      // house_hz, 90 % at a third of it and 10 % at three times it, so the room's bass lift
      // comes in gently over about three octaves instead of as a step.
      const double ratio = hz / target.house_hz;
      return target.house_db / (1 + ratio * ratio);
    }
    case TargetKind::kFlat:
    case TargetKind::kFile:
      break;
  }
  return 0;
}

}  // namespace

std::vector<double> TargetLevels(const TargetSpec& target, std::span<const double> hz,
                                 std::span<const double> measured_db, double low_hz,
                                 double high_hz) {
  std::vector<double> levels;
  if (target.kind == TargetKind::kFile) {
    levels = LevelsAt(target.file, hz);
  } else {
    levels.reserve(hz.size());
    for (const double f : hz) levels.push_back(ShapeDb(target, f));
  }
  // Align the means over the range, counting only frequencies where both are known.
  double target_sum = 0;
  double measured_sum = 0;
  int count = 0;
  for (std::size_t i = 0; i < hz.size() && i < measured_db.size(); ++i) {
    if (hz[i] < low_hz || hz[i] > high_hz) continue;
    if (!std::isfinite(measured_db[i]) || !std::isfinite(levels[i])) continue;
    target_sum += levels[i];
    measured_sum += measured_db[i];
    ++count;
  }
  if (count == 0) return levels;
  const double shift = (measured_sum - target_sum) / count;
  for (double& level : levels) level += shift;
  return levels;
}

}  // namespace veltrane
