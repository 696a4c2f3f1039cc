#include "response/complex_response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "model/tables.h"
#include "response/response_math.h"

namespace veltrane {
namespace {

using Real = long double;
using RealComplex = std::complex<Real>;

// ---------------------------------------------------------------------------------------
// A second, direct evaluation: every power of e^{-jw} taken on its own in long double,
// each polynomial summed term by term, the sections multiplied, then gain and delay.

RealComplex DirectSection(const Biquad& q, Real w) {
  const RealComplex z1 = std::polar<Real>(1, -w);
  const RealComplex z2 = std::polar<Real>(1, -2 * w);
  const RealComplex num = Real(q.b0) + Real(q.b1) * z1 + Real(q.b2) * z2;
  const RealComplex den = Real(q.a0) + Real(q.a1) * z1 + Real(q.a2) * z2;
  return num / den;
}

RealComplex Direct(const ChannelProcessing& p, Real hz) {
  const Real w = 2 * std::numbers::pi_v<Real> * hz / 96000;
  RealComplex h = Real(p.gain) * std::polar<Real>(1, -w * Real(p.delay_ms) * 96);
  for (const Biquad& q : p.Sections()) h *= DirectSection(q, w);
  return h;
}

double WrappedDifferenceDeg(double a, double b) { return std::remainder(a - b, 360.0); }

// A channel with every kind of section: three bands, an 18 dB high-pass, a 48 dB Bessel
// low-pass, inverted, delayed and with gain.
ParameterModel FullChannelModel() {
  ParameterModel m;
  ChannelParams& ch = m.channels[kOut2];
  ch.hp_freq = 60;  // 111 Hz
  ch.hp_type = 4;
  ch.lp_freq = 180;  // 3564 Hz
  ch.lp_type = 11;
  ch.polarity = 1;
  ch.delay = 37;
  ch.gain = 95;
  m.bands[BandId(kOut2, 0)] = {40, kLowShelf, 120, 150, 4};
  m.bands[BandId(kOut2, 3)] = {100, kPeaking, 90, 120, 12};
  m.bands[BandId(kOut2, 7)] = {200, kHighShelf, 120, 100, 4};
  return m;
}

TEST(ComplexResponseTest, AgreesWithDirectEvaluationAt48thOctavePoints) {
  const ChannelProcessing p = ChannelProcessingOf(FullChannelModel(), kOut2);
  ASSERT_EQ(p.count, 3 + 2 + 4);
  for (const double hz : LogFrequencies(20, 20000, 48)) {
    const ComplexPoint got = Evaluate(p, hz);
    const RealComplex want = Direct(p, hz);
    const double want_db = static_cast<double>(20 * std::log10(std::abs(want)));
    const double want_deg = static_cast<double>(std::arg(want) * 180 / std::numbers::pi_v<Real>);
    ASSERT_NEAR(LevelDb(got), want_db, 1e-6) << hz << " Hz";
    ASSERT_NEAR(WrappedDifferenceDeg(PhaseDegrees(got), want_deg), 0, 1e-4) << hz << " Hz";
    ASSERT_GE(PhaseDegrees(got), -180);
    ASSERT_LE(PhaseDegrees(got), 180);
  }
}

// The coefficients must be the very sections the level graph squares: compare |H|^2 of
// each crossover type, both sides, and of the band kinds with the graph's phi form.
TEST(ComplexResponseTest, CoefficientsSquareToTheGraphsSections) {
  const auto check = [](const std::vector<Biquad>& biquads,
                        const std::vector<FilterSection>& sections, const char* what) {
    ASSERT_EQ(biquads.size(), sections.size()) << what;
    for (const double hz : LogFrequencies(20, 20000, 12)) {
      const double w = 2 * std::numbers::pi * hz / 96000;
      const double phi = std::pow(std::sin(w / 2), 2);
      for (std::size_t i = 0; i < biquads.size(); ++i) {
        const double power =
            std::norm(static_cast<std::complex<double>>(DirectSection(biquads[i], w)));
        const double graph = sections[i].num.At(phi) / sections[i].den.At(phi);
        ASSERT_NEAR(10 * std::log10(power), 10 * std::log10(graph), 1e-6)
            << what << " section " << i << " at " << hz << " Hz";
      }
    }
  };
  for (const CrossoverSide side : {CrossoverSide::kHighPass, CrossoverSide::kLowPass}) {
    for (int type = 0; type < 12; ++type) {
      const BiquadCascade b = CrossoverBiquads(side, type, 700);
      const SectionCascade s = CrossoverSections(side, type, 700);
      check({b.Sections().begin(), b.Sections().end()}, {s.Sections().begin(), s.Sections().end()},
            side == CrossoverSide::kHighPass ? "high-pass" : "low-pass");
    }
  }
  check({PeakingBiquad(1000, -6, 2.4)}, {PeakingSection(1000, -6, 2.4)}, "peaking");
  check({ShelfBiquad(kLowShelf, 120, 5)}, {ShelfSection(kLowShelf, 120, 5)}, "low shelf");
  check({ShelfBiquad(kHighShelf, 6000, -4)}, {ShelfSection(kHighShelf, 6000, -4)}, "high shelf");
}

ParameterModel TwoWay(int type, int freq_index, bool invert_second);

TEST(ComplexResponseTest, GroupDelayIsTheDerivativeOfTheUnwrappedPhase) {
  const ChannelProcessing channel = ChannelProcessingOf(FullChannelModel(), kOut2);
  ParameterModel two_way = TwoWay(4, 150, true);
  two_way.channels[kOut2].delay = 20;
  const int outputs[] = {kOut1, kOut2};
  const auto sum = [&](double hz) {
    const double hzs[] = {hz};
    return SumOfOutputs(two_way, outputs, hzs)[0];
  };
  const auto channel_at = [&](double hz) { return Evaluate(channel, hz); };
  const auto check = [](const auto& response, const char* what) {
    for (const double hz : LogFrequencies(30, 15000, 6)) {
      // Central difference of the phase over w; the ratio keeps it unwrapped.
      const double step = hz * 1e-5;
      const std::complex<double> ratio = response(hz + step).h / response(hz - step).h;
      const double dw = 2 * std::numbers::pi * (2 * step) / 96000;
      const double numeric_ms = -std::arg(ratio) / dw / 96;
      EXPECT_NEAR(GroupDelayMs(response(hz)), numeric_ms, 1e-6 + 1e-6 * std::abs(numeric_ms))
          << what << " at " << hz << " Hz";
    }
  };
  check(channel_at, "channel");
  check(sum, "sum of two outputs");
}

// ---------------------------------------------------------------------------------------
// Textbook crossovers: H_OUT high-passed and M_OUT low-passed at the same frequency, both
// fed from input A, summed.

ParameterModel TwoWay(int type, int freq_index, bool invert_second) {
  ParameterModel m;
  m.channels[kOut1].hp_type = m.channels[kOut2].lp_type = static_cast<std::uint8_t>(type);
  m.channels[kOut1].hp_freq = m.channels[kOut2].lp_freq = static_cast<std::uint8_t>(freq_index);
  m.channels[kOut2].polarity = invert_second ? 1 : 0;
  m.Output(kOut1).route = m.Output(kOut2).route = 1;
  return m;
}

double SumDb(const ParameterModel& m, double hz) {
  const int outputs[] = {kOut1, kOut2};
  const double hzs[] = {hz};
  return LevelDb(SumOfOutputs(m, outputs, hzs)[0]);
}

double SumRippleDb(const ParameterModel& m) {
  double low = 1e9, high = -1e9;
  for (const double hz : LogFrequencies(20, 20000, 24)) {
    low = std::min(low, SumDb(m, hz));
    high = std::max(high, SumDb(m, hz));
  }
  return high - low;
}

// Departures from the textbook, and the tolerances they bring:
// - The processor's Butterworth and LR sections use d = 0.70422535 (Q 0.71), not 1/sqrt 2:
//   the 24 dB LR sum ripples by a few hundredths of a dB instead of none, and the
//   Butterworth pair inverted sums to 1/0.70422535 = +3.05 dB at the crossover, not +3.01.
// - The "12db-LR" type is one section with d = 1 (Q 0.5), which is the textbook LR2.
// - The filters take w0 = 6.544985e-05 f, a rounded 2 pi / 96000, so an exact
//   cancellation at fc is a notch some 100 dB deep rather than a true zero.
// - The bilinear mapping at 96 kHz keeps sums of these pairs all-pass, so the results
//   hold up to 20 kHz; no warping tolerance is needed for these types.
struct CrossoverCase {
  const char* name;
  int type;
  bool inverted;
  double max_ripple_db;    // over 20 Hz..20 kHz; negative: not checked
  double at_crossover_db;  // level of the sum at fc
  double crossover_tolerance;
};

TEST(ComplexResponseTest, TextbookCrossoverSums) {
  const CrossoverCase cases[] = {
      {"24 dB LR in phase sums flat", 7, false, 0.1, 0.0, 0.1},
      {"12 dB LR inverted sums flat", 1, true, 0.1, 0.0, 0.1},
      {"12 dB LR in phase cancels at fc", 1, false, -1, -200, 140},
      {"12 dB Butterworth in phase cancels at fc", 0, false, -1, -200, 140},
      {"12 dB Butterworth inverted is +3 dB at fc", 0, true, -1, 3.05, 0.05},
  };
  for (const int freq_index : {112, 160, 200}) {  // 500 Hz, 2 kHz, 6350 Hz
    const double fc = kFreqTable[freq_index];
    for (const CrossoverCase& c : cases) {
      SCOPED_TRACE(testing::Message() << c.name << " at " << fc << " Hz");
      const ParameterModel m = TwoWay(c.type, freq_index, c.inverted);
      if (c.max_ripple_db >= 0) {
        EXPECT_LT(SumRippleDb(m), c.max_ripple_db);
      }
      const double at_fc = SumDb(m, fc);
      if (c.at_crossover_db < -100) {
        EXPECT_LT(at_fc, -60) << "a cancellation is a deep notch";
        EXPECT_GT(SumDb(m, fc * 4), -2) << "and only a notch: two octaves on, the sum is back";
      } else {
        EXPECT_NEAR(at_fc, c.at_crossover_db, c.crossover_tolerance);
      }
    }
  }
}

TEST(ComplexResponseTest, DelayAddsItsOwnGroupDelay) {
  ParameterModel m = FullChannelModel();
  const ChannelProcessing before = ChannelProcessingOf(m, kOut2);
  for (const int steps : {1, 48, 960}) {
    m.channels[kOut2].delay = static_cast<std::uint16_t>(steps);
    const ChannelProcessing after = ChannelProcessingOf(m, kOut2);
    for (const double hz : {40.0, 700.0, 3000.0, 15000.0}) {
      const double added = GroupDelayMs(Evaluate(after, hz)) - GroupDelayMs(Evaluate(before, hz));
      EXPECT_NEAR(added, (steps - 37) * 0.021, 1e-9) << steps << " steps at " << hz << " Hz";
      EXPECT_NEAR(LevelDb(Evaluate(after, hz)), LevelDb(Evaluate(before, hz)), 1e-9);
    }
  }
}

// What the processing takes from the model besides the filters.
TEST(ComplexResponseTest, MuteGainPolarityBypassAndRoute) {
  const ParameterModel base = TwoWay(0, 160, false);
  const double hz = 1234;
  const int h_out[] = {kOut1};
  const double hzs[] = {hz};
  const ComplexPoint reference = SumOfOutputs(base, h_out, hzs)[0];
  struct Case {
    const char* name;
    void (*edit)(ParameterModel&);
    double level_change_db;  // NaN: silent
    double phase_change_deg;
  };
  const Case cases[] = {
      {"mute silences", [](ParameterModel& m) { m.channels[kOut1].mute = 1; }, NAN, 0},
      {"route OFF silences", [](ParameterModel& m) { m.Output(kOut1).route = 0; }, NAN, 0},
      {"input A muted silences route A", [](ParameterModel& m) { m.channels[kInA].mute = 1; }, NAN,
       0},
      {"route A+B adds input B", [](ParameterModel& m) { m.Output(kOut1).route = 3; },
       20 * std::log10(2.0), 0},
      {"route B alone is the same", [](ParameterModel& m) { m.Output(kOut1).route = 2; }, 0, 0},
      {"gain +6 dB", [](ParameterModel& m) { m.channels[kOut1].gain = 180; }, 6, 0},
      {"input gain -3 dB", [](ParameterModel& m) { m.channels[kInA].gain = 90; }, -3, 0},
      {"polarity turns by 180", [](ParameterModel& m) { m.channels[kOut1].polarity = 1; }, 0, 180},
      {"a band at 0 dB is unity", [](ParameterModel& m) { m.bands[BandId(kOut1, 6)].q = 100; }, 0,
       0},
      {"EQ bypass drops the bands",
       [](ParameterModel& m) {
         m.bands[BandId(kOut1, 6)].peak_gain = 60;
         m.channels[kOut1].eq_bypass = 1;
       },
       0, 0},
  };
  for (const Case& c : cases) {
    ParameterModel m = base;
    c.edit(m);
    const ComplexPoint got = SumOfOutputs(m, h_out, hzs)[0];
    if (std::isnan(c.level_change_db)) {
      EXPECT_EQ(got.h, std::complex<double>(0, 0)) << c.name;
      EXPECT_TRUE(std::isinf(LevelDb(got))) << c.name;
      continue;
    }
    EXPECT_NEAR(LevelDb(got) - LevelDb(reference), c.level_change_db, 1e-9) << c.name;
    EXPECT_NEAR(
        WrappedDifferenceDeg(PhaseDegrees(got) - PhaseDegrees(reference), c.phase_change_deg), 0,
        1e-9)
        << c.name;
  }
  // The same band, not bypassed, does change the response.
  ParameterModel eq = base;
  eq.bands[BandId(kOut1, 6)].peak_gain = 60;
  EXPECT_LT(LevelDb(SumOfOutputs(eq, h_out, hzs)[0]) - LevelDb(reference), -1);
}

}  // namespace
}  // namespace veltrane
