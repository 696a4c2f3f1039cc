#include "tuning/prediction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>

#include "model/tables.h"
#include "response/complex_response.h"
#include "tuning/measurement.h"
#include "tuning/synthetic_room.h"

namespace veltrane {
namespace {

double MeanOver(std::span<const double> v) {
  return std::accumulate(v.begin(), v.end(), 0.0) / v.size();
}

// Out 1 with a 24 dB high-pass at 40 Hz and -6 dB of channel gain: processing the fit must
// count but not change.
ParameterModel ModelWithCrossoverAndGain() {
  ParameterModel model;
  model.channels[kOut1].hp_freq = static_cast<std::uint8_t>(NearestFreqIndex(40));
  model.channels[kOut1].hp_type = 7;
  model.channels[kOut1].gain = 60;  // -6.0 dB
  return model;
}

BandParams Peak(double hz, double db, double q) {
  BandParams band;
  band.freq = static_cast<std::uint8_t>(NearestFreqIndex(hz));
  band.peak_gain = static_cast<std::uint16_t>(NearestEqGainIndex(db));
  band.q = static_cast<std::uint8_t>(NearestQIndex(q));
  return band;
}

TEST(PredictedLevelsTest, ABandOfSixDbAtOneHundredHzRaisesThePredictionThereBySix) {
  ParameterModel model = ModelWithCrossoverAndGain();
  const MeasuredResponse room = SyntheticRoom(4);
  const std::vector<double> hz = {kFreqTable[NearestFreqIndex(100)], 1000, 5000};
  const std::vector<double> before = PredictedLevels(model, kOut1, room, hz);
  model.bands[BandId(kOut1, 3)] = Peak(100, 6, 2);
  const std::vector<double> after = PredictedLevels(model, kOut1, room, hz);
  EXPECT_NEAR(after[0] - before[0], 6, 1e-9);
  EXPECT_NEAR(after[2] - before[2], 0, 0.01);  // far above the band
  // The measurement plus the channel's whole processing, in true dB.
  const std::vector<double> measured = LevelsAt(room, hz);
  const std::vector<ComplexPoint> processing = EvaluateCurve(ChannelProcessingOf(model, kOut1), hz);
  for (std::size_t i = 0; i < hz.size(); ++i) {
    EXPECT_NEAR(after[i], measured[i] + LevelDb(processing[i]), 1e-9);
  }
  EXPECT_NEAR(before[1], measured[1] - 6, 0.01);  // the channel gain, above the high-pass
  model.channels[kOut1].mute = 1;
  EXPECT_EQ(PredictedLevels(model, kOut1, room, hz)[1], -std::numeric_limits<double>::infinity());
}

TEST(MakeFitProblemTest, HoldsTheGridTheMeasurementTheProcessingWithoutBandsAndTheBands) {
  ParameterModel model = ModelWithCrossoverAndGain();
  model.bands[BandId(kOut1, 0)] = Peak(100, 6, 2);
  const MeasuredResponse room = SyntheticRoom(6);
  FitSettings settings;
  settings.low_hz = 30;
  settings.high_hz = 2000;
  TargetSpec tilt;
  tilt.kind = TargetKind::kTilt;
  tilt.tilt_db_per_octave = -1;
  const FitProblem problem = MakeFitProblem(model, kOut1, room, tilt, settings);

  EXPECT_EQ(problem.hz, FitGrid(30, 2000));
  EXPECT_EQ(problem.measured_db, LevelsAt(room, problem.hz));
  for (int b = 0; b < kBandsPerChannel; ++b) {
    EXPECT_EQ(problem.bands[b], model.bands[BandId(kOut1, b)]);
  }
  ParameterModel bypassed = model;
  bypassed.channels[kOut1].eq_bypass = 1;
  const std::vector<double> without_bands = PredictedLevels(bypassed, kOut1, room, problem.hz);
  std::vector<double> unequalised(problem.hz.size());
  for (std::size_t i = 0; i < problem.hz.size(); ++i) {
    EXPECT_NEAR(problem.measured_db[i] + problem.fixed_db[i], without_bands[i], 1e-9);
    unequalised[i] = without_bands[i];
  }
  // The tilt falls 1 dB per octave, and sits at the level the channel gives without bands.
  EXPECT_NEAR(problem.target_db.front() - problem.target_db.back(), std::log2(2000.0 / 30), 1e-6);
  EXPECT_NEAR(MeanOver(problem.target_db), MeanOver(unequalised), 1e-9);

  // The fit's error is the prediction's: applying the fitted bands gives rms_after_db.
  const FitResult fit = FitEq(problem, settings);
  for (int b = 0; b < kBandsPerChannel; ++b) model.bands[BandId(kOut1, b)] = fit.bands[b];
  const std::vector<double> predicted = PredictedLevels(model, kOut1, room, problem.hz);
  double squares = 0;
  for (std::size_t i = 0; i < predicted.size(); ++i) {
    squares += std::pow(predicted[i] - problem.target_db[i], 2);
  }
  EXPECT_NEAR(std::sqrt(squares / predicted.size()), fit.rms_after_db, 1e-9);
  EXPECT_LT(fit.rms_after_db, fit.rms_before_db);
}

TEST(MakeFitProblemTest, AMutedChannelGivesAProblemTheFitLeavesAlone) {
  ParameterModel model;
  model.channels[kOut2].mute = 1;
  model.bands[BandId(kOut2, 4)] = Peak(60, -8, 5);
  const FitProblem problem = MakeFitProblem(model, kOut2, SyntheticRoom(1), {}, {});
  const FitResult fit = FitEq(problem, {});
  EXPECT_EQ(fit.bands, problem.bands);
  EXPECT_EQ(fit.rms_after_db, std::numeric_limits<double>::infinity());
  for (const double t : problem.target_db) EXPECT_TRUE(std::isfinite(t));
}

}  // namespace
}  // namespace veltrane
