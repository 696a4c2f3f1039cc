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
  double house_db = 0;            // kHouse: +house_db below house_hz, a smooth shelf
  double house_hz = 0;
  MeasuredResponse file;          // kFile: read with ReadMeasurementText
};

// The target at each frequency of hz, shifted so that its mean over [low_hz, high_hz]
// equals the mean of measured_db there (measured_db holds the measurement at hz).
std::vector<double> TargetLevels(const TargetSpec& target, std::span<const double> hz,
                                 std::span<const double> measured_db, double low_hz,
                                 double high_hz);

}  // namespace veltrane
