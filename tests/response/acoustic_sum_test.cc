#include "response/acoustic_sum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "response/complex_response.h"

namespace veltrane {
namespace {

// H_OUT and M_OUT as 24 dB LR at 2 kHz from input A: flat when summed electrically.
ParameterModel TwoWay() {
  ParameterModel m;
  m.channels[kOut1].hp_type = m.channels[kOut2].lp_type = 7;
  m.channels[kOut1].hp_freq = m.channels[kOut2].lp_freq = 160;
  m.Output(kOut1).route = m.Output(kOut2).route = 1;
  return m;
}

// A driver measured every 1/24 octave from 10 Hz to 30 kHz: level_db flat, late by
// delay_ms, its phase wrapped as a measurement program writes it.
MeasuredResponse Driver(double level_db, double delay_ms, bool has_phase = true) {
  MeasuredResponse r;
  r.has_phase = has_phase;
  for (const double hz : LogFrequencies(10, 30000, 24)) {
    const double phase = std::remainder(-360 * hz * delay_ms / 1000, 360.0);
    r.points.push_back({hz, level_db, phase});
  }
  return r;
}

TEST(AcousticSumTest, MeasuredDriversMultiplyTheProcessing) {
  const std::vector<double> hz = LogFrequencies(100, 16000, 12);
  const std::array<int, 2> pair = {kOut1, kOut2};
  struct Case {
    const char* name;
    double h_level_db, h_delay_ms;
    double m_level_db, m_delay_ms;
    // The same sum made electrically: H_OUT's gain and delay steps changed instead.
    int h_gain_index, h_delay_steps;
  };
  const Case cases[] = {
      {"flat drivers change nothing", 0, 0, 0, 0, 120, 0},
      {"a tweeter 0.42 ms late is H_OUT delayed 20 steps", 0, 0.42, 0, 0, 120, 20},
      {"a tweeter 3 dB louder is H_OUT's gain +3 dB", 3, 0, 0, 0, 150, 0},
      {"both late by the same is one common delay", 0, 0.21, 0, 0.21, 120, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const OutputMeasurement measured[] = {{kOut1, Driver(c.h_level_db, c.h_delay_ms)},
                                          {kOut2, Driver(c.m_level_db, c.m_delay_ms)}};
    const AcousticSum acoustic = PredictAcousticSum(TwoWay(), measured, hz);
    EXPECT_FALSE(acoustic.electrical_only);
    ParameterModel electrical = TwoWay();
    electrical.channels[kOut1].gain = static_cast<std::uint8_t>(c.h_gain_index);
    electrical.channels[kOut1].delay = static_cast<std::uint16_t>(c.h_delay_steps);
    const std::vector<ComplexPoint> want = SumOfOutputs(electrical, pair, hz);
    ASSERT_EQ(acoustic.sum.size(), hz.size());
    for (std::size_t i = 0; i < hz.size(); ++i) {
      // The common delay of the last case turns the whole sum; its level stays.
      const std::complex<double> common =
          std::polar(1.0, -2 * std::numbers::pi * hz[i] * c.m_delay_ms / 1000);
      EXPECT_NEAR(std::abs(acoustic.sum[i] - want[i].h * common), 0, 1e-9) << hz[i] << " Hz";
    }
  }
}

TEST(AcousticSumTest, WithoutPhaseForEveryOutputTheSumIsElectrical) {
  const std::vector<double> hz = LogFrequencies(100, 16000, 6);
  const std::array<int, 2> pair = {kOut1, kOut2};
  const std::vector<ComplexPoint> electrical = SumOfOutputs(TwoWay(), pair, hz);
  MeasuredResponse unusable;
  unusable.has_phase = true;
  unusable.points = {{-5, 0, 0}, {std::numeric_limits<double>::quiet_NaN(), 0, 0}};
  const std::vector<std::vector<OutputMeasurement>> cases = {
      {{kOut1, Driver(0, 0.3)}, {kOut2, Driver(-2, 0, /*has_phase=*/false)}},
      {{kOut1, Driver(0, 0.3)}, {kOut2, std::nullopt}},
      {{kOut1, Driver(0, 0.3)}, {kOut2, unusable}},
  };
  for (const auto& outputs : cases) {
    const AcousticSum sum = PredictAcousticSum(TwoWay(), outputs, hz);
    EXPECT_TRUE(sum.electrical_only);
    for (std::size_t i = 0; i < hz.size(); ++i) {
      EXPECT_NEAR(std::abs(sum.sum[i] - electrical[i].h), 0, 1e-12);
    }
  }
}

TEST(AcousticSumTest, InterpolationUnwrapsSortsAndHoldsTheEnds) {
  // Out of order, a duplicate, a wrap between 1 and 2 kHz, and a bad point.
  MeasuredResponse m;
  m.has_phase = true;
  m.points = {{2000, -6, 170},
              {1000, 0, -170},  // 1 to 2 kHz turns by -20 degrees, not +340
              {1000, 9, 0},
              {std::numeric_limits<double>::infinity(), 0, 0}};
  const double hz[] = {500, 1000, 1500, 2000, 4000};
  const std::vector<std::complex<double>> v = InterpolateMeasurement(m, hz);
  ASSERT_EQ(v.size(), 5u);
  const auto deg = [](std::complex<double> c) { return std::arg(c) * 180 / std::numbers::pi; };
  const auto db = [](std::complex<double> c) { return 20 * std::log10(std::abs(c)); };
  EXPECT_NEAR(db(v[0]), 0, 1e-9);
  EXPECT_NEAR(deg(v[0]), -170, 1e-9);
  EXPECT_NEAR(db(v[2]), -3, 1e-9);
  EXPECT_NEAR(std::remainder(deg(v[2]) - 180, 360.0), 0, 1e-9);  // halfway, -170 to -190
  EXPECT_NEAR(db(v[4]), -6, 1e-9);
  EXPECT_NEAR(std::remainder(deg(v[4]) - 170, 360.0), 0, 1e-9);
  EXPECT_TRUE(InterpolateMeasurement(MeasuredResponse{}, hz).empty());
}

}  // namespace
}  // namespace veltrane
