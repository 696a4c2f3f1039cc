#include "tuning/eq_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <string>

#include "model/tables.h"
#include "response/complex_response.h"
#include "tuning/synthetic_room.h"

namespace veltrane {
namespace {

// A synthetic room sampled on the fit grid itself, a flat target at its mean level, no
// other processing and the default (flat) bands.
FitProblem RoomProblem(std::uint32_t seed, double low_hz, double high_hz) {
  SyntheticRoomOptions options;
  options.low_hz = low_hz;
  options.high_hz = high_hz;
  options.points_per_octave = 48;
  FitProblem problem;
  for (const MeasuredPoint& p : SyntheticRoom(seed, options).points) {
    problem.hz.push_back(p.hz);
    problem.measured_db.push_back(p.level_db);
  }
  const double mean = std::accumulate(problem.measured_db.begin(), problem.measured_db.end(), 0.0) /
                      problem.measured_db.size();
  problem.target_db.assign(problem.hz.size(), mean);
  problem.fixed_db.assign(problem.hz.size(), 0.0);
  for (int b = 0; b < kBandsPerChannel; ++b) problem.bands[b] = DefaultBand(b);
  return problem;
}

FitSettings Settings(double low_hz, double high_hz, double max_boost_db) {
  FitSettings settings;
  settings.low_hz = low_hz;
  settings.high_hz = high_hz;
  settings.max_boost_db = max_boost_db;
  return settings;
}

std::vector<double> SummedLevels(const std::array<BandParams, kBandsPerChannel>& bands,
                                 std::span<const double> hz) {
  std::vector<double> sum(hz.size(), 0.0);
  for (const BandParams& band : bands) {
    const std::vector<double> levels = BandLevelsDb(band, hz);
    for (std::size_t i = 0; i < hz.size(); ++i) sum[i] += levels[i];
  }
  return sum;
}

BandParams Band(EqType type, int freq, int gain, int q) {
  BandParams band;
  band.type = type;
  band.freq = static_cast<std::uint8_t>(freq);
  band.ActiveGain() = static_cast<std::uint16_t>(gain);
  band.q = static_cast<std::uint8_t>(q);
  return band;
}

// The highest the bands add up to anywhere in [low_hz, high_hz]: on a 1/1000-octave grid,
// finer than anything the fitter checks, so that peaks between its points show.
double HighestSum(const std::array<BandParams, kBandsPerChannel>& bands, double low_hz,
                  double high_hz) {
  const std::vector<double> sum = SummedLevels(bands, LogFrequencies(low_hz, high_hz, 1000));
  return *std::max_element(sum.begin(), sum.end());
}

// Between two points of a 1/960-octave look a sum of narrow bands can rise by this much.
constexpr double kBetweenPointsDb = 1e-3;

TEST(FitGridTest, FortyEighthOctaveStepsFromLowUpToAndIncludingHigh) {
  for (const auto& [low, high] : {std::pair{20.0, 500.0}, {20.0, 20000.0}, {31.5, 31.5}}) {
    const std::vector<double> hz = FitGrid(low, high);
    ASSERT_FALSE(hz.empty());
    EXPECT_DOUBLE_EQ(hz.front(), low);
    EXPECT_NEAR(hz.back(), high, 1e-9 * high);
    for (std::size_t i = 1; i + 1 < hz.size(); ++i) {
      EXPECT_NEAR(std::log2(hz[i] / hz[i - 1]), 1.0 / 48, 1e-9);
    }
  }
  EXPECT_EQ(FitGrid(20, 500).size(), 224u);  // log2(25) * 48 = 222.9 steps, plus 500 Hz
  EXPECT_TRUE(FitGrid(0, 500).empty());
  EXPECT_TRUE(FitGrid(500, 20).empty());
}

// The fitter's band levels are the same arithmetic as the complex response the graph and
// the prediction use, in true dB.
TEST(BandLevelsDbTest, AgreesWithTheComplexResponseOfTheSameBand) {
  const std::vector<double> hz = FitGrid(20, 20000);
  struct Case {
    BandParams band;
    Biquad biquad;
  };
  const std::vector<Case> cases = {
      {Band(kPeaking, 40, 60, 10), PeakingBiquad(kFreqTable[40], -12, kQTable[10])},
      {Band(kPeaking, 200, 180, 0), PeakingBiquad(kFreqTable[200], 12, kQTable[0])},
      {Band(kPeaking, 2, 0, 179), PeakingBiquad(kFreqTable[2], -24, kQTable[179])},
      {Band(kLowShelf, 60, 150, 0), ShelfBiquad(kLowShelf, kFreqTable[60], 6)},
      {Band(kHighShelf, 180, 95, 0), ShelfBiquad(kHighShelf, kFreqTable[180], -5)},
      {Band(kHighShelf, 180, 120, 0), Biquad{}},
  };
  for (const Case& c : cases) {
    ChannelProcessing processing;
    processing.Add(c.biquad);
    const std::vector<ComplexPoint> complex = EvaluateCurve(processing, hz);
    const std::vector<double> levels = BandLevelsDb(c.band, hz);
    for (std::size_t i = 0; i < hz.size(); ++i) {
      ASSERT_NEAR(levels[i], LevelDb(complex[i]), 1e-6)
          << hz[i] << " Hz, type " << int(c.band.type);
    }
  }
}

TEST(RmsErrorDbTest, IsTheRmsOfPredictedMinusTargetOverFinitePoints) {
  FitProblem problem;
  problem.hz = {100, 200, 300, 400};
  problem.measured_db = {1, -1, std::numeric_limits<double>::quiet_NaN(), 3};
  problem.fixed_db = {0, 0, 0, 0};
  problem.target_db = {0, 0, 0, 0};
  EXPECT_DOUBLE_EQ(RmsErrorDb(problem, problem.bands), std::sqrt((1 + 1 + 9) / 3.0));
  problem.fixed_db.assign(4, -std::numeric_limits<double>::infinity());
  EXPECT_EQ(RmsErrorDb(problem, problem.bands), std::numeric_limits<double>::infinity());
}

void ExpectExactTableBands(const FitResult& result, const FitSettings& settings) {
  for (const BandParams& band : result.bands) {
    EXPECT_LE(band.freq, kFreqIndexMax);
    EXPECT_LE(band.type, settings.allow_shelves ? kHighShelf : kPeaking);
    EXPECT_LE(band.ActiveGain(), kEqGainIndexMax);
    EXPECT_LE(band.q, kQIndexMax);
  }
}

// The fit's promises on many rooms, both ranges and three limits.
TEST(FitEqTest, RoomsGetExactTableBandsWithinTheBoostLimitAndALowerError) {
  for (const auto& [low, high] : {std::pair{20.0, 500.0}, {20.0, 20000.0}}) {
    for (const double limit : {0.0, 3.0, 6.0}) {
      for (std::uint32_t seed = 0; seed < 4; ++seed) {
        SCOPED_TRACE(std::to_string(low) + "-" + std::to_string(high) + " Hz, max boost " +
                     std::to_string(limit) + ", room " + std::to_string(seed));
        const FitProblem problem = RoomProblem(seed, low, high);
        const FitSettings settings = Settings(low, high, limit);
        const FitResult result = FitEq(problem, settings);
        ExpectExactTableBands(result, settings);
        EXPECT_LE(HighestSum(result.bands, low, high), limit + kBetweenPointsDb);
        EXPECT_DOUBLE_EQ(result.rms_before_db, RmsErrorDb(problem, problem.bands));
        EXPECT_DOUBLE_EQ(result.rms_after_db, RmsErrorDb(problem, result.bands));
        // Room modes are what the bands are for: over their range the error must fall
        // clearly once boosts are allowed. Cuts alone, or a whole range with its roll-offs,
        // can do less, but never nothing.
        const bool modes_only = high == 500 && limit > 0;
        EXPECT_LT(result.rms_after_db, (modes_only ? 0.7 : 0.99) * result.rms_before_db);
      }
    }
  }
}

// Several boosting bands side by side count together: a wide dip that wants +10 dB may
// get no more than the limit anywhere, even between the bands' centres.
TEST(FitEqTest, StackedBoostsTogetherStayWithinTheLimit) {
  FitProblem problem = RoomProblem(7, 20, 500);
  for (std::size_t i = 0; i < problem.hz.size(); ++i) {
    const double octaves = std::log2(problem.hz[i] / 80);
    problem.measured_db[i] = problem.target_db[i] - 10 * std::exp(-octaves * octaves * 4);
  }
  const FitResult result = FitEq(problem, Settings(20, 500, 3));
  EXPECT_LE(HighestSum(result.bands, 20, 500), 3 + kBetweenPointsDb);
  EXPECT_GT(HighestSum(result.bands, 20, 500), 2.5);  // it did boost, up to the limit
}

TEST(FitEqTest, KeptBandsStayAsTheyAreAndCountInTheErrorAndTheLimit) {
  FitProblem problem = RoomProblem(3, 20, 500);
  problem.bands[0] = Band(kPeaking, NearestFreqIndex(60), NearestEqGainIndex(3), NearestQIndex(1));
  problem.bands[5] = Band(kLowShelf, NearestFreqIndex(200), NearestEqGainIndex(-4), 0);
  FitSettings settings = Settings(20, 500, 3);
  settings.free[0] = settings.free[5] = false;
  const FitResult result = FitEq(problem, settings);
  EXPECT_EQ(result.bands[0], problem.bands[0]);
  EXPECT_EQ(result.bands[5], problem.bands[5]);
  // The kept boost already reaches +3 dB at 60 Hz: nothing more may be added there.
  EXPECT_LE(HighestSum(result.bands, 20, 500), 3 + kBetweenPointsDb);
  EXPECT_DOUBLE_EQ(result.rms_after_db, RmsErrorDb(problem, result.bands));
  EXPECT_LT(result.rms_after_db, 0.7 * result.rms_before_db);
}

TEST(FitEqTest, NoShelvesWhenNotAllowed) {
  for (std::uint32_t seed = 10; seed < 14; ++seed) {
    const FitProblem problem = RoomProblem(seed, 20, 20000);
    FitSettings settings = Settings(20, 20000, 3);
    settings.allow_shelves = false;
    const FitResult result = FitEq(problem, settings);
    for (const BandParams& band : result.bands) EXPECT_EQ(band.type, kPeaking);
  }
}

TEST(FitEqTest, AMeasurementOnTargetLeavesEveryFreeBandFlat) {
  FitProblem problem = RoomProblem(5, 20, 500);
  problem.target_db = problem.measured_db;
  problem.bands[2] = Band(kPeaking, 50, 90, 20);  // free: the fit takes it away
  const FitResult result = FitEq(problem, Settings(20, 500, 3));
  for (const BandParams& band : result.bands) EXPECT_EQ(band.ActiveGain(), kEqGainZeroIndex);
  EXPECT_GT(result.rms_before_db, 0);
  EXPECT_EQ(result.rms_after_db, 0);
}

TEST(FitEqTest, MutedOrPartlyUnusableMeasurementsDoNotBreakTheFit) {
  FitProblem muted = RoomProblem(2, 20, 500);
  muted.bands[1] = Band(kPeaking, 50, 90, 20);
  muted.fixed_db.assign(muted.hz.size(), -std::numeric_limits<double>::infinity());
  const FitResult untouched = FitEq(muted, Settings(20, 500, 3));
  EXPECT_EQ(untouched.bands, muted.bands);
  EXPECT_EQ(untouched.rms_after_db, std::numeric_limits<double>::infinity());
  const FitResult empty = FitEq(FitProblem{}, Settings(20, 500, 3));
  EXPECT_EQ(empty.bands, FitProblem{}.bands);
  EXPECT_EQ(empty.rms_after_db, std::numeric_limits<double>::infinity());

  FitProblem holes = RoomProblem(2, 20, 500);
  for (std::size_t i = 0; i < holes.hz.size(); i += 7) {
    holes.measured_db[i] = std::numeric_limits<double>::quiet_NaN();
  }
  holes.target_db.pop_back();  // a short vector is a missing point, not a crash
  const FitResult result = FitEq(holes, Settings(20, 500, 3));
  EXPECT_TRUE(std::isfinite(result.rms_after_db));
  EXPECT_LT(result.rms_after_db, 0.7 * result.rms_before_db);
}

// The fitter against the two plainer methods, on the same rooms and limits.
TEST(FitEqTest, NeverWorseThanTheGreedyOrTheRoundedFreeValuedFit) {
  for (const auto& [low, high] : {std::pair{20.0, 500.0}, {20.0, 20000.0}}) {
    for (std::uint32_t seed = 20; seed < 24; ++seed) {
      const FitProblem problem = RoomProblem(seed, low, high);
      const FitSettings settings = Settings(low, high, 3);
      const double ours = FitEq(problem, settings).rms_after_db;
      const FitResult greedy = FitEqGreedy(problem, settings);
      const FitResult rounded = FitEqRoundedOptimum(problem, settings);
      EXPECT_LE(ours, greedy.rms_after_db + 1e-12) << "room " << seed;
      EXPECT_LE(ours, rounded.rms_after_db + 1e-12) << "room " << seed;
      for (const FitResult* r : {&greedy, &rounded}) {
        EXPECT_LE(HighestSum(r->bands, low, high), 3 + kBetweenPointsDb);
        ExpectExactTableBands(*r, settings);
      }
    }
  }
}

// Over a narrow range the bands far above it may hold a few tenths of a dB that change the
// error by nothing anyone could hear; they read as noise in the list and are left flat.
TEST(FitEqTest, BandsFarOutsideTheRangeDoNotHoldCrumbs) {
  for (std::uint32_t seed = 0; seed < 8; ++seed) {
    const FitProblem problem = RoomProblem(seed, 20, 200);
    const FitSettings settings = Settings(20, 200, 3);
    const FitResult fit = FitEq(problem, settings);
    for (int b = 0; b < kBandsPerChannel; ++b) {
      const BandParams& band = fit.bands[b];
      if (kFreqTable[band.freq] < 800) continue;
      EXPECT_EQ(band.ActiveGain(), kEqGainZeroIndex) << "room " << seed << " band " << b + 1;
    }
  }
}

}  // namespace
}  // namespace veltrane
