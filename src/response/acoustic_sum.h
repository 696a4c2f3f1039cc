#pragma once

// The predicted acoustic sum of several outputs: each output's measured driver response
// (level and phase, taken without the processor's filtering on that output) times the
// processing the output now has, added as complex values. Without phase for every output a
// measured sum would be guesswork, so then the sum is the electrical one and says so.

#include <complex>
#include <optional>
#include <span>
#include <vector>

#include "model/parameter_model.h"

namespace veltrane {

struct MeasuredPoint {
  double hz = 0;
  double level_db = 0;
  double phase_deg = 0;
};

// One output's measurement, in any order; points with a frequency that is not positive or
// with a value that is not finite are left out.
struct MeasuredResponse {
  std::vector<MeasuredPoint> points;
  bool has_phase = false;
};

struct OutputMeasurement {
  int channel = 0;  // kOut1..kOut4
  std::optional<MeasuredResponse> measured;
};

struct AcousticSum {
  std::vector<std::complex<double>> sum;  // at the frequencies asked
  bool electrical_only = false;           // a summed output lacks a measurement with phase
};

// The measurement as a complex value at each frequency: level and unwrapped phase
// interpolated linearly in frequency (exact for a pure delay), the end points held outside
// the measured range. Empty when no usable point is left.
std::vector<std::complex<double>> InterpolateMeasurement(const MeasuredResponse& measured,
                                                         std::span<const double> hz);

AcousticSum PredictAcousticSum(const ParameterModel& model,
                               std::span<const OutputMeasurement> outputs,
                               std::span<const double> hz);

}  // namespace veltrane
