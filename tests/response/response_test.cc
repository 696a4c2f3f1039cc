#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "response/response_math.h"

namespace veltrane {
namespace {

// ---------------------------------------------------------------------------------------
// A second, plain evaluation of the curve formulas in long double: textbook coefficients,
// normalised by a0, each section evaluated as a complex ratio at every column, the
// sections' DisplayDb values summed. No caching and no rearrangement.

using Real = long double;

struct RefBiquad {
  Real b0, b1, b2, a0, a1, a2;
};

constexpr Real kRefW0PerHz = 6.544985e-05L;

Real RefDisplayDb(Real m) { return 40 * std::log(m) / std::log(Real{101}); }

Real RefSectionDb(const RefBiquad& q, Real w) {
  const std::complex<Real> z = std::polar<Real>(1, w);
  const std::complex<Real> num = (q.b0 / q.a0) * z + q.b1 / q.a0 + (q.b2 / q.a0) * std::conj(z);
  const std::complex<Real> den = z + q.a1 / q.a0 + (q.a2 / q.a0) * std::conj(z);
  return RefDisplayDb(std::abs(num / den));
}

Real RefColumnHz(Real x) { return 20 * std::pow(Real{10}, 3 * (x - 121) / 767); }
Real RefFullW(int x) { return 2 * std::numbers::pi_v<Real> * RefColumnHz(x) / 96000; }
Real RefPeakingW(int x) { return 2 * 3.141592L * RefColumnHz(x) / 96000; }
Real RefGainDb(int y) { return std::trunc((15 - Real(y - 16) / 211 * 45) * 10) / 10; }

struct RefCurve {
  std::vector<RefBiquad> sections;
  bool truncated_pi = false;
};

RefCurve RefBand(int type, BandPoint p, Real q) {
  const Real f0 = RefColumnHz(p.x);
  const Real g = RefGainDb(p.y);
  const Real a = std::pow(Real{10}, g / 40);
  if (type == 0) {
    const Real n = std::asinh(1 / (2 * q)) / 0.34657359L;
    const Real w0 = kRefW0PerHz * f0;
    const Real alpha = std::sin(w0) * std::sinh(0.69314718L * n * w0 / std::sin(w0));
    const Real c = std::cos(w0);
    return {{{1 + alpha * a, -2 * c, 1 - alpha * a, 1 + alpha / a, -2 * c, 1 - alpha / a}}, true};
  }
  if (g == 0) return {};
  const Real w0 = (type == 1 ? 1.2727272727L : 0.76923076923L) * kRefW0PerHz * f0;
  const Real alpha = std::sin(w0) / 2 * std::sqrt((a + 1 / a) * (1 / 1.3L - 1) + 2);
  const Real beta = 2 * std::sqrt(a) * alpha;
  const Real c = std::cos(w0);
  if (type == 1) {
    return {{{a * ((a + 1) - (a - 1) * c + beta), 2 * a * ((a - 1) - (a + 1) * c),
              a * ((a + 1) - (a - 1) * c - beta), (a + 1) + (a - 1) * c + beta,
              -2 * ((a - 1) + (a + 1) * c), (a + 1) + (a - 1) * c - beta}}};
  }
  return {{{a * ((a + 1) + (a - 1) * c + beta), -2 * a * ((a - 1) + (a + 1) * c),
            a * ((a + 1) + (a - 1) * c - beta), (a + 1) - (a - 1) * c + beta,
            2 * ((a - 1) - (a + 1) * c), (a + 1) - (a - 1) * c - beta}}};
}

struct RefType {
  Real d[4];
  Real divisor;  // 0: none
  bool first_order;
};

const RefType kRefHighPass[12] = {
    {{0.70422535L}, 0, false},
    {{1.0L}, 0, false},
    {{0.70422535L}, 1.2683112435L, false},
    {{1.0L, 0.5L}, 0, true},
    {{1.0L, 0.70422535211L}, 0, true},
    {{0.756L, 0.72463768L}, 1.2854981442L, true},
    {{0.92592593L, 0.38167939L}, 0, false},
    {{0.70422535211L, 0.70422535211L}, 0, false},
    {{0.96153846L, 0.61728395L}, 1.5006420029L, false},
    {{0.98039126L, 0.83333333L, 0.55555556L, 0.1953125L}, 0, false},
    {{0.92592592593L, 0.373134315L, 0.92592592593L, 0.373134315L}, 0, false},
    {{0.98039216L, 0.89285714L, 0.70422535L, 0.40650406L}, 1.679120141L, false},
};

// Low-pass Butterworth / LR types; the Bessel slots are unused here.
const RefType kRefLowPass[12] = {
    {{0.70422535L}, 0, false},
    {{1.0L}, 0, false},
    {{}, 0, false},
    {{1.0L, 0.5L}, 0, true},
    {{1.0L, 0.70422535211L}, 0, true},
    {{}, 0, false},
    {{0.92592593L, 0.38167939L}, 0, false},
    {{0.70422535211L, 0.70422535211L}, 0, false},
    {{}, 0, false},
    {{0.98039216L, 0.83333333L, 0.55555556L, 0.1953125L}, 0, false},
    {{0.92592592593L, 0.373134315L, 0.92592592593L, 0.373134315L}, 0, false},
    {{}, 0, false},
};

struct RefBessel {
  Real divisor;
  Real ch[4][2];  // (c, h)
};

const RefBessel kRefBessel[4] = {
    {1.3616541287L, {{1.0L, 0.3333333333L}}},
    {1.75567236868L, {{0.5693712514L, 0.154812441L}, {0.430628846L, 0}}},
    {2.1139176749L, {{0.369L, 0.087858766L}, {0.6278294896L, 0.109408L}}},
    {3.17961723751L,
     {{0.117235677L, 0.02064747L},
      {0.226516664L, 0.0259273886L},
      {0.3067559L, 0.0294683265L},
      {0.3494916166L, 0.031272257L}}},
};

Real GuardA0(Real a0) { return a0 == 0 ? 1e-10L : a0; }

RefCurve RefCrossover(bool high_pass, int type, Real fc) {
  RefCurve curve;
  if (!high_pass && type % 3 == 2) {
    const RefBessel& t = kRefBessel[type / 3];
    const Real k = std::tan(kRefW0PerHz * (fc / t.divisor) / 2);
    for (const auto& [c, h] : t.ch) {
      if (c == 0) continue;
      curve.sections.push_back(
          {k * k, 2 * k * k, k * k, c * k + k * k + h, 2 * k * k - 2 * h, k * k - c * k + h});
    }
    return curve;
  }
  const RefType& t = high_pass ? kRefHighPass[type] : kRefLowPass[type];
  if (t.divisor != 0) fc /= t.divisor;
  const Real w0 = kRefW0PerHz * fc;
  const Real c = std::cos(w0), s = std::sin(w0), tn = std::tan(w0 / 2);
  for (int i = 0; i < 4; ++i) {
    const Real d = t.d[i];
    if (d == 0) continue;
    if (i == 0 && t.first_order) {
      if (high_pass) {
        curve.sections.push_back({1, -1, 0, GuardA0(d * tn + 1), d * tn - 1, 0});
      } else {
        curve.sections.push_back({tn, tn, 0, GuardA0(tn + d), tn - d, 0});
      }
      continue;
    }
    const Real k = s * d;
    const Real b0 = high_pass ? (1 + c) / 2 : (1 - c) / 2;
    curve.sections.push_back({b0, high_pass ? -2 * b0 : 2 * b0, b0, GuardA0(1 + k), -2 * c, 1 - k});
  }
  return curve;
}

Real RefDb(const RefCurve& curve, int x) {
  const Real w = curve.truncated_pi ? RefPeakingW(x) : RefFullW(x);
  Real db = 0;
  for (const RefBiquad& q : curve.sections) db += RefSectionDb(q, w);
  return db;
}

// Largest difference from the reference over every curve column.
void ExpectMatchesReference(ConstResponseRow row, const RefCurve& ref, double tolerance) {
  double worst = -1;
  int worst_x = 0;
  for (int x = kFirstCurveColumn; x <= kLastCurveColumn; ++x) {
    const double diff = std::abs(row[ResponseIndex(x)] - static_cast<double>(RefDb(ref, x)));
    if (!(diff <= worst)) {
      worst = diff;
      worst_x = x;
    }
  }
  EXPECT_NEAR(row[ResponseIndex(worst_x)], static_cast<double>(RefDb(ref, worst_x)), tolerance)
      << "at column " << worst_x;
}

// Where long double is wider than double the plain evaluation is good to ~1e-11 dB, so
// the rows must agree within 1e-9 dB. Where it is not, the plain evaluation itself loses
// up to ~1e-8 dB in the far stop bands.
constexpr double kRefTolerance =
    std::numeric_limits<Real>::digits > std::numeric_limits<double>::digits ? 1e-9 : 1e-6;

struct BandCase {
  int type;
  BandPoint point;
  int q_index;
};

TEST(ResponseCurveTest, BandRowsMatchPlainEvaluation) {
  const BandCase cases[] = {
      {0, {555, 100}, 4},  {0, {119, 198}, 0}, {0, {888, 30}, 179}, {0, {300, 58}, 20},
      {0, {700, 142}, 50}, {0, {42, 72}, 4},   {0, {930, 198}, 9},  {1, {119, 198}, 4},
      {1, {555, 30}, 4},   {1, {888, 142}, 4}, {1, {930, 58}, 4},   {2, {119, 30}, 4},
      {2, {555, 198}, 4},  {2, {888, 72}, 4},  {2, {42, 100}, 4},
  };
  ResponseStore store;
  for (const BandCase& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " at (" + std::to_string(c.point.x) + ", " +
                 std::to_string(c.point.y) + ") q " + std::to_string(c.q_index));
    ComputeBandCurve(store, 21, c.type, c.point, c.q_index);
    ExpectMatchesReference(store.Row(21), RefBand(c.type, c.point, kQTable[c.q_index]),
                           kRefTolerance);
  }
}

TEST(ResponseCurveTest, CrossoverRowsMatchPlainEvaluationForEveryType) {
  // Off positions included: high-pass index 0 is 1 Hz, low-pass index 240 is 60 kHz.
  const int indices[] = {0, 1, 100, 136, 200, 240};
  ResponseStore store;
  for (int type = 0; type < 12; ++type) {
    for (const int index : indices) {
      SCOPED_TRACE("type " + std::to_string(type) + " index " + std::to_string(index));
      ComputeHighPassCurve(store, 4, type, index);
      const Real hp_fc = index == 0 ? 1.0L : kFreqTable[index];
      ExpectMatchesReference(store.Row(HighPassRow(4)), RefCrossover(true, type, hp_fc),
                             kRefTolerance);
      ComputeLowPassCurve(store, 4, type, index);
      const Real lp_fc = index == 240 ? 60000.0L : kFreqTable[index];
      ExpectMatchesReference(store.Row(LowPassRow(4)), RefCrossover(false, type, lp_fc),
                             kRefTolerance);
    }
  }
}

TEST(ResponseCurveTest, VanishingA0GivesTheGuardedFormula) {
  // At this corner sin w0 is exactly -1, so a d = 1 section has a0 = 1 + K = 0, which the
  // formula replaces by 1e-10. The row must stay finite and match it.
  const double fc = 3 * std::numbers::pi / 2 / kOmega0PerHz;
  ResponseStore store;
  ComputeCrossoverRow(store.MutableRow(0), CrossoverSide::kHighPass, 1, fc);
  ExpectMatchesReference(store.Row(0), RefCrossover(true, 1, fc), kRefTolerance);
}

// ---------------------------------------------------------------------------------------
// Checks against filter theory rather than against the formulas: the gain at a peaking
// band's centre, shelf plateaus, and the level at a crossover's corner (a cookbook
// section has |H| = Q there; a first-order section 1/sqrt 2).

TEST(ResponseCurveTest, LevelsAtCentreCornerAndPlateau) {
  const double corner = ColumnFrequency(555);
  const auto band = [](int type, BandPoint p, int q) {
    return [=](ResponseRow row) { ComputeBandRow(row, type, p, q); };
  };
  const auto xo = [corner](CrossoverSide side, int type) {
    return [=](ResponseRow row) { ComputeCrossoverRow(row, side, type, corner); };
  };
  const auto hp = CrossoverSide::kHighPass;
  const auto lp = CrossoverSide::kLowPass;
  const double half_power = DisplayDb(std::sqrt(0.5));
  struct Case {
    std::string name;
    std::function<void(ResponseRow)> fill;
    int x;
    double expected_db;
    double tolerance;
  };
  const Case cases[] = {
      {"peak -2.9 dB", band(0, {555, 100}, 4), 555, DisplayDb(std::pow(10, -2.9 / 20)), 1e-6},
      {"peak +12 dB narrow", band(0, {888, 30}, 179), 888, DisplayDb(std::pow(10, 0.6)), 1e-6},
      {"low shelf plateau", band(1, {555, 30}, 4), 42, DisplayDb(std::pow(10, 0.6)), 1e-3},
      {"low shelf top", band(1, {555, 30}, 4), 930, 0.0, 0.05},
      {"high shelf plateau", band(2, {119, 30}, 4), 930, DisplayDb(std::pow(10, 0.6)), 1e-3},
      {"high shelf bottom", band(2, {555, 198}, 4), 42, 0.0, 0.01},
      {"HP 12 Butterworth", xo(hp, 0), 555, DisplayDb(1 / (2 * 0.70422535)), 1e-6},
      {"LP 12 Butterworth", xo(lp, 0), 555, DisplayDb(1 / (2 * 0.70422535)), 1e-6},
      {"HP 12 LR", xo(hp, 1), 555, DisplayDb(0.5), 1e-6},
      {"LP 12 LR", xo(lp, 1), 555, DisplayDb(0.5), 1e-6},
      {"HP 18 Butterworth", xo(hp, 3), 555, half_power, 1e-6},
      {"LP 18 Butterworth", xo(lp, 3), 555, half_power, 1e-6},
      {"HP 24 LR", xo(hp, 7), 555, 2 * DisplayDb(1 / (2 * 0.70422535211)), 1e-6},
      // A Q of 2.6 makes the level at the corner sensitive to the tiny difference between
      // the column's 2 pi / 96000 and the corner's 6.544985e-05.
      {"LP 48 Butterworth", xo(lp, 9), 555,
       DisplayDb(1 / (16 * 0.98039216 * 0.83333333 * 0.55555556 * 0.1953125)), 1e-5},
      // The Bessel divisors put the -3 dB point near the corner; the prototype values are
      // rounded, by up to 0.05 dB for the 24 dB type.
      {"LP 12 Bessel", xo(lp, 2), 555, half_power, 0.1},
      {"LP 18 Bessel", xo(lp, 5), 555, half_power, 0.1},
      {"LP 24 Bessel", xo(lp, 8), 555, half_power, 0.1},
      {"LP 48 Bessel", xo(lp, 11), 555, half_power, 0.1},
  };
  ResponseStore store;
  for (const Case& c : cases) {
    c.fill(store.MutableRow(0));
    EXPECT_NEAR(store.Value(0, c.x), c.expected_db, c.tolerance) << c.name;
  }
}

// ---------------------------------------------------------------------------------------
// Pixels.

TEST(ResponseCurveTest, BandPointsFollowThePixelGrid) {
  struct Case {
    int freq_index;
    int type;
    int peak_gain;
    int shelf_gain;
    BandPoint point;
    double hz;
    double hz_tolerance;
    double db;
  };
  const Case cases[] = {
      {136, kPeaking, 0, 120, {555, 198}, 996.7, 0.05, -23.8},   // 1000 Hz, -24.0 dB
      {240, kPeaking, 60, 120, {888, 142}, 20000, 0, -11.8},     // 20100 Hz, -12.0 dB
      {0, kPeaking, 105, 120, {119, 100}, 19.64, 0.005, -2.9},   // 19.7 Hz, -3.0 dB
      {136, kPeaking, 120, 0, {555, 86}, 996.7, 0.05, 0.0},      // 0.0 dB
      {136, kPeaking, 135, 0, {555, 72}, 996.7, 0.05, 3.0},      // +3.0 dB
      {136, kPeaking, 150, 0, {555, 58}, 996.7, 0.05, 6.0},      // +6.0 dB
      {136, kPeaking, 180, 0, {555, 30}, 996.7, 0.05, 12.0},     // +12.0 dB
      {136, kLowShelf, 180, 0, {555, 198}, 996.7, 0.05, -23.8},  // shelves use shelf gain
      {136, kHighShelf, 180, 150, {555, 58}, 996.7, 0.05, 6.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("freq " + std::to_string(c.freq_index) + " type " + std::to_string(c.type));
    BandParams band;
    band.freq = c.freq_index;
    band.type = c.type;
    band.peak_gain = c.peak_gain;
    band.shelf_gain = c.shelf_gain;
    const BandPoint point = PlaceBandPoint(band, c.type);
    EXPECT_EQ(point, c.point);
    EXPECT_NEAR(ColumnFrequency(point.x), c.hz, c.hz_tolerance);
    EXPECT_EQ(BandPointGainDb(point.y), c.db);
  }
}

TEST(ResponseCurveTest, ColumnFrequencyAndDisplayScale) {
  EXPECT_EQ(ColumnFrequency(121), 20.0);
  EXPECT_NEAR(ColumnFrequency(121 + 767.0 / 3), 200.0, 1e-9);  // fractional column
  EXPECT_NEAR(ColumnFrequency(kFirstCurveColumn), 9.82, 0.01);
  EXPECT_NEAR(ColumnFrequency(kLastCurveColumn), 29200, 30);
  EXPECT_EQ(DisplayDb(1.0), 0.0);
  EXPECT_NEAR(DisplayDb(101.0), 40.0, 1e-12);
  EXPECT_NEAR(DisplayDb(10.0), 19.9569, 1e-4);  // not 20
}

TEST(ResponseCurveTest, TotalToPixelRowTruncatesTowardZero) {
  const struct {
    double total;
    int y;
  } cases[] = {
      {15.0, 16},
      {0.0, 86},
      {-30.0, 227},
      {20.0, -7},  // -7.44
      {-1e300, kOffGraphPixel},
      {1e300, -kOffGraphPixel},
      {std::numeric_limits<double>::quiet_NaN(), kOffGraphPixel},
  };
  for (const auto& c : cases) EXPECT_EQ(TotalToY(c.total), c.y) << c.total;
}

// ---------------------------------------------------------------------------------------
// Rows.

std::vector<std::function<void(ResponseStore&)>> EveryRowKind() {
  std::vector<std::function<void(ResponseStore&)>> kinds;
  kinds.reserve(3 + 2 * 12);
  for (int type = 0; type < 3; ++type) {
    kinds.push_back([type](ResponseStore& s) { ComputeBandCurve(s, 0, type, {555, 58}, 4); });
  }
  for (int type = 0; type < 12; ++type) {
    kinds.push_back([type](ResponseStore& s) { ComputeHighPassCurve(s, 0, type, 136); });
    kinds.push_back([type](ResponseStore& s) { ComputeLowPassCurve(s, 0, type, 136); });
  }
  return kinds;
}

TEST(ResponseCurveTest, EveryComputationRewritesExactlyTheCurveIndices) {
  constexpr double kSentinel = 777.0;
  ResponseStore store;
  for (int r = 0; r < kResponseRowCount; ++r) {
    for (double& v : store.MutableRow(r)) v = kSentinel;
  }
  for (const auto& compute : EveryRowKind()) compute(store);
  for (const int r : {0, HighPassRow(0), LowPassRow(0)}) {
    const ConstResponseRow row = store.Row(r);
    EXPECT_EQ(row[0], kSentinel) << "row " << r;
    for (int i = kFirstResponseIndex; i <= kLastResponseIndex; ++i) {
      ASSERT_NE(row[i], kSentinel) << "row " << r << " index " << i;
      ASSERT_TRUE(std::isfinite(row[i])) << "row " << r << " index " << i;
    }
    for (int i = kLastResponseIndex + 1; i < kResponseRowLength; ++i) {
      ASSERT_EQ(row[i], kSentinel) << "row " << r << " index " << i;
    }
  }
  EXPECT_EQ(store.Row(1)[100], kSentinel);  // a row not computed keeps its values
}

TEST(ResponseCurveTest, ZeroGainBandIsExactlyFlat) {
  ResponseStore store;
  for (int type = 0; type < 3; ++type) {
    for (const int x : {42, 119, 555, 888, 930}) {
      ComputeBandCurve(store, 3, type, {x, 58}, 4);  // leave something to overwrite
      ComputeBandCurve(store, 3, type, {x, 86}, 4);  // 0.0 dB
      for (int i = kFirstResponseIndex; i <= kLastResponseIndex; ++i) {
        ASSERT_EQ(store.Row(3)[i], 0.0) << "type " << type << " x " << x << " index " << i;
      }
    }
  }
}

TEST(ResponseCurveTest, QChangesOnlyPeakingRows) {
  ResponseStore store;
  for (int type = 0; type < 3; ++type) {
    ComputeBandCurve(store, 8, type, {479, 142}, 0);
    ComputeBandCurve(store, 9, type, {479, 142}, 100);
    const ConstResponseRow wide = store.Row(8);
    const ConstResponseRow narrow = store.Row(9);
    const bool same = std::equal(wide.begin(), wide.end(), narrow.begin());
    EXPECT_EQ(same, type != kPeaking) << "type " << type;
  }
}

TEST(ResponseCurveTest, HighPassOffIsPracticallyFlat) {
  ResponseStore store;
  for (int type = 0; type < 12; ++type) {
    ComputeHighPassCurve(store, 1, type, 0);
    const ConstResponseRow row = store.Row(HighPassRow(1));
    double worst = 0;
    for (int i = kFirstResponseIndex; i <= kLastResponseIndex; ++i) {
      worst = std::max(worst, std::abs(row[i]));
    }
    EXPECT_LT(worst, 0.1) << "type " << type;
    // The table's own first entry, 19.7 Hz, would cut deep at the first column.
    ComputeCrossoverRow(store.MutableRow(0), CrossoverSide::kHighPass, type, kFreqTable[0]);
    EXPECT_LT(store.Value(0, kFirstCurveColumn), -3.0) << "type " << type;
  }
}

TEST(ResponseCurveTest, OutOfRangeChannelOrBandLeavesStoreUntouched) {
  ResponseStore store;
  ComputeBandCurve(store, kBandCount, 0, {555, 58}, 4);
  ComputeBandCurve(store, -1, 0, {555, 58}, 4);
  ComputeHighPassCurve(store, kChannelCount, 9, 136);
  ComputeLowPassCurve(store, -1, 9, 136);
  for (int r = 0; r < kResponseRowCount; ++r) {
    for (const double v : store.Row(r)) ASSERT_EQ(v, 0.0) << "row " << r;
  }
}

// ---------------------------------------------------------------------------------------
// Totals and the full recompute.

TEST(ResponseCurveTest, ChannelTotalSumsItsOwnRowsAndGain) {
  ResponseStore store;
  ParameterModel model;
  constexpr int kX = 500;
  for (int r = 0; r < kResponseRowCount; ++r) store.MutableRow(r)[ResponseIndex(kX)] = r + 1;
  for (int ch = 0; ch < kChannelCount; ++ch) model.channels[ch].gain = 120 + 10 * ch;
  // Bands 8ch+1 .. 8ch+8, high-pass 49+ch, low-pass 55+ch, gain ch dB.
  const double expected[kChannelCount] = {140, 207, 274, 341, 408, 475};
  for (int ch = 0; ch < kChannelCount; ++ch) {
    EXPECT_NEAR(ChannelTotalDb(store, model, ch, kX), expected[ch], 1e-12) << "channel " << ch;
    EXPECT_NEAR(ChannelTotalDb(store, model, ch, kX + 1), ch, 1e-12) << "channel " << ch;
  }
  model.channels[2].gain = 0;
  EXPECT_NEAR(ChannelTotalDb(store, model, 2, kX), 272 - 12.0, 1e-12);
}

TEST(ResponseCurveTest, FullRecomputePlacesEveryPointAndRewritesEveryRow) {
  ParameterModel model;
  BandParams& peq = model.bands[BandId(kOut1, 1)];
  peq.freq = 136;
  peq.peak_gain = 105;   // -3.0 dB
  peq.shelf_gain = 180;  // not the active one
  peq.q = 20;
  BandParams& low_shelf = model.bands[BandId(kOut4, 0)];
  low_shelf.freq = 240;
  low_shelf.type = kLowShelf;
  low_shelf.peak_gain = 0;
  low_shelf.shelf_gain = 150;  // +6.0 dB
  model.channels[kOut2].hp_freq = 100;
  model.channels[kOut2].hp_type = 9;
  model.channels[kOut2].lp_freq = 200;
  model.channels[kOut2].lp_type = 11;
  model.channels[kInA].lp_type = 2;  // lp_freq stays 240: off

  ResponseStore store;
  for (int r = 0; r < kResponseRowCount; ++r) {
    for (double& v : store.MutableRow(r)) v = 777.0;
  }
  std::array<BandPoint, kBandCount> points = InitialBandPoints();
  FullRecompute(store, model, points);

  EXPECT_EQ(points[BandId(kOut1, 1)], (BandPoint{555, 100}));
  EXPECT_EQ(points[BandId(kOut4, 0)], (BandPoint{888, 58}));
  EXPECT_EQ(points[BandId(kInA, 1)], (BandPoint{225, 86}));  // 51.1 Hz, not the initial 226

  ResponseStore expected;
  ComputeBandRow(expected.MutableRow(0), kPeaking, {555, 100}, 20);
  ComputeBandRow(expected.MutableRow(1), kLowShelf, {888, 58}, kDefaultQ);
  ComputeCrossoverRow(expected.MutableRow(2), CrossoverSide::kHighPass, 9, kFreqTable[100]);
  ComputeCrossoverRow(expected.MutableRow(3), CrossoverSide::kLowPass, 11, kFreqTable[200]);
  ComputeCrossoverRow(expected.MutableRow(4), CrossoverSide::kLowPass, 2, 60000);
  ComputeCrossoverRow(expected.MutableRow(5), CrossoverSide::kHighPass, 0, 1.0);
  const auto same_curve = [&](int row, int expected_row) {
    for (int i = kFirstResponseIndex; i <= kLastResponseIndex; ++i) {
      if (store.Row(row)[i] != expected.Row(expected_row)[i]) return false;
    }
    return true;
  };
  EXPECT_TRUE(same_curve(BandId(kOut1, 1), 0));
  EXPECT_TRUE(same_curve(BandId(kOut4, 0), 1));
  EXPECT_TRUE(same_curve(HighPassRow(kOut2), 2));
  EXPECT_TRUE(same_curve(LowPassRow(kOut2), 3));
  EXPECT_TRUE(same_curve(LowPassRow(kInA), 4));
  EXPECT_TRUE(same_curve(HighPassRow(kInB), 5));
  EXPECT_NE(store.Value(BandId(kOut1, 1), 555), 0.0);
  // Every other band sits at 0.0 dB, and no row was skipped.
  for (int r = 0; r < kResponseRowCount; ++r) {
    for (int i = kFirstResponseIndex; i <= kLastResponseIndex; ++i) {
      ASSERT_NE(store.Row(r)[i], 777.0) << "row " << r;
    }
  }
  EXPECT_EQ(store.Value(BandId(kOut1, 0), 300), 0.0);
}

}  // namespace
}  // namespace veltrane
