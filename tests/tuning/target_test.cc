#include "tuning/target.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "response/complex_response.h"

namespace veltrane {
namespace {

double MeanOver(std::span<const double> hz, std::span<const double> db, double low, double high) {
  double sum = 0;
  int count = 0;
  for (std::size_t i = 0; i < hz.size(); ++i) {
    if (hz[i] >= low && hz[i] <= high) {
      sum += db[i];
      ++count;
    }
  }
  return sum / count;
}

// The target's level at hz minus its level at reference_hz, both on the grid.
double Rise(std::span<const double> hz, std::span<const double> db, double at_hz,
            double reference_hz) {
  const auto index = [&](double f) {
    std::size_t best = 0;
    for (std::size_t i = 0; i < hz.size(); ++i) {
      if (std::abs(std::log(hz[i] / f)) < std::abs(std::log(hz[best] / f))) best = i;
    }
    return best;
  };
  return db[index(at_hz)] - db[index(reference_hz)];
}

TargetSpec Tilt(double db_per_octave) {
  TargetSpec target;
  target.kind = TargetKind::kTilt;
  target.tilt_db_per_octave = db_per_octave;
  return target;
}

TargetSpec House(double db, double hz) {
  TargetSpec target;
  target.kind = TargetKind::kHouse;
  target.house_db = db;
  target.house_hz = hz;
  return target;
}

TEST(TargetTest, ShapesAlignedToTheMeasurementOverTheRange) {
  // 10 Hz to 20 kHz on the grid, fitted over 20-500 Hz: a bumpy room at about 85 dB.
  const std::vector<double> hz = LogFrequencies(10, 20480, 48);
  std::vector<double> measured;
  for (const double f : hz) measured.push_back(85 + 6 * std::sin(std::log2(f) * 3));
  TargetSpec file_target;
  file_target.kind = TargetKind::kFile;
  file_target.file.points = {{40, 0, 0}, {160, -12, 0}};
  struct Case {
    const char* name;
    TargetSpec target;
    // Level differences of the shape: at_hz against reference_hz.
    double at_hz, reference_hz, rise_db;
    double tolerance_db = 1e-9;  // the grid holds 30 and 270 Hz only to within 1/96 octave
  };
  const Case cases[] = {
      {"flat", {}, 20, 500, 0},
      {"tilt -1 dB per octave", Tilt(-1), 40, 320, 3},
      {"house +6 dB: half at its frequency", House(6, 80), 80, 20480, 3 - 6 / (1 + 256.0 * 256)},
      {"house +6 dB: 90 % to 10 % over F/3..3F", House(6, 90), 30, 270, 4.8, 0.01},
      {"file, interpolated in log frequency", file_target, 80, 40, -6},
      {"file, held beyond its ends", file_target, 20, 500, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<double> target = TargetLevels(c.target, hz, measured, 20, 500);
    ASSERT_EQ(target.size(), hz.size());
    EXPECT_NEAR(MeanOver(hz, target, 20, 500), MeanOver(hz, measured, 20, 500), 1e-9);
    EXPECT_NEAR(Rise(hz, target, c.at_hz, c.reference_hz), c.rise_db, c.tolerance_db);
  }
}

TEST(TargetTest, OnlyTheRangeAndFiniteLevelsSetTheLevel) {
  const std::vector<double> hz = LogFrequencies(10, 20480, 12);
  std::vector<double> measured;
  for (const double f : hz) {
    measured.push_back(f < 20 || f > 500 ? 0 : 80);
  }
  measured[hz.size() / 2] = -std::numeric_limits<double>::infinity();  // about 450 Hz
  for (const double level : TargetLevels({}, hz, measured, 20, 500)) EXPECT_DOUBLE_EQ(level, 80);
  // Nothing measured in the range: the shape as it is.
  for (const double level : TargetLevels({}, hz, measured, 30000, 40000)) EXPECT_EQ(level, 0);
}

}  // namespace
}  // namespace veltrane
