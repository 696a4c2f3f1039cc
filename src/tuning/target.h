#pragma once

// The response a channel is tuned towards. Every target is level-aligned to the
// measurement over the fit range, so only its shape matters.

#include <span>
#include <vector>

#include "response/acoustic_sum.h"

namespace veltrane {

enum class TargetKind { kFlat, kTilt, kHouse, kFile };

struct TargetSpec {
  TargetKind kind = TargetKind::kFlat;
  double tilt_db_per_octave = 0;  // kTilt: negative falls towards high frequencies
  // kHouse: +house_db below house_hz, a smooth shelf: house_db / (1 + (f / house_hz)^2), half
  // the rise at house_hz, 90 % of it at house_hz / 3, 10 % at 3 * house_hz.
  double house_db = 0;
  double house_hz = 0;
  MeasuredResponse file;  // kFile: read with ReadMeasurementText
};

// The target at each frequency of hz, shifted so that its mean over [low_hz, high_hz]
// equals the mean of measured_db there (measured_db holds the measurement at hz). The means
// are taken over the points of hz inside the range with a finite measured level (on a
// log-spaced grid, a mean in log frequency); with no such point the target is not shifted.
std::vector<double> TargetLevels(const TargetSpec& target, std::span<const double> hz,
                                 std::span<const double> measured_db, double low_hz,
                                 double high_hz);

}  // namespace veltrane
