#include "response/filter_sections.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace veltrane {
namespace {

// Where a textbook formula puts a0 exactly at zero the graph has always used this
// instead; only corner frequencies far above any table entry get there.
constexpr double kZeroA0 = 1e-10;

double Square(double v) { return v * v; }

// |k0 + k1 z^-1 + k2 z^-2|^2 / 16 for k0 = 1 + k, k1 = -2 cos w0, k2 = 1 - k, where
// sigma = sin^2(w0 / 2): the denominator of the crossover biquads and both polynomials
// of the peaking band.
PhiQuadratic ResonantQuadratic(double sigma, double k) {
  return {sigma * sigma, k * k - 2 * sigma, (1 + k) * (1 - k)};
}

// Section parameters d0..d3 (d = 1 / (2Q)) of the Butterworth and LR types and of the
// high-pass Bessel types, which use the same sections on a shifted corner.
struct SectionTable {
  std::array<double, 4> d;
  double divisor;    // fc is divided by this first
  bool first_order;  // section 0 is a first-order section built from d0
};

constexpr std::array<SectionTable, 12> kHighPassTypes = {{
    {{0.70422535, 0, 0, 0}, 1.0, false},
    {{1.0, 0, 0, 0}, 1.0, false},
    {{0.70422535, 0, 0, 0}, 1.2683112435, false},
    {{1.0, 0.5, 0, 0}, 1.0, true},
    {{1.0, 0.70422535211, 0, 0}, 1.0, true},
    {{0.756, 0.72463768, 0, 0}, 1.2854981442, true},
    {{0.92592593, 0.38167939, 0, 0}, 1.0, false},
    {{0.70422535211, 0.70422535211, 0, 0}, 1.0, false},
    {{0.96153846, 0.61728395, 0, 0}, 1.5006420029, false},
    {{0.98039126, 0.83333333, 0.55555556, 0.1953125}, 1.0, false},
    {{0.92592592593, 0.373134315, 0.92592592593, 0.373134315}, 1.0, false},
    {{0.98039216, 0.89285714, 0.70422535, 0.40650406}, 1.679120141, false},
}};

// Low-pass Butterworth and LR types; the Bessel slots (2, 5, 8, 11) are never read,
// those types come from kLowPassBessel. Type 9's d0 differs from the high-pass one.
constexpr std::array<SectionTable, 12> kLowPassTypes = {{
    {{0.70422535, 0, 0, 0}, 1.0, false},
    {{1.0, 0, 0, 0}, 1.0, false},
    {{0, 0, 0, 0}, 1.0, false},
    {{1.0, 0.5, 0, 0}, 1.0, true},
    {{1.0, 0.70422535211, 0, 0}, 1.0, true},
    {{0, 0, 0, 0}, 1.0, false},
    {{0.92592593, 0.38167939, 0, 0}, 1.0, false},
    {{0.70422535211, 0.70422535211, 0, 0}, 1.0, false},
    {{0, 0, 0, 0}, 1.0, false},
    {{0.98039216, 0.83333333, 0.55555556, 0.1953125}, 1.0, false},
    {{0.92592592593, 0.373134315, 0.92592592593, 0.373134315}, 1.0, false},
    {{0, 0, 0, 0}, 1.0, false},
}};

// Analog prototype sections 1 / (h s^2 + c s + 1), as (c, h); c = 0 is unity.
struct BesselTable {
  double divisor;
  std::array<std::pair<double, double>, 4> sections;
};

constexpr std::array<BesselTable, 4> kLowPassBessel = {{
    {1.3616541287, {{{1.0, 0.3333333333}, {0, 0}, {0, 0}, {0, 0}}}},
    {1.75567236868, {{{0.5693712514, 0.154812441}, {0.430628846, 0}, {0, 0}, {0, 0}}}},
    {2.1139176749, {{{0.369, 0.087858766}, {0.6278294896, 0.109408}, {0, 0}, {0, 0}}}},
    {3.17961723751,
     {{{0.117235677, 0.02064747},
       {0.226516664, 0.0259273886},
       {0.3067559, 0.0294683265},
       {0.3494916166, 0.031272257}}}},
}};

constexpr bool IsBessel(int type) { return type % 3 == 2; }

FilterSection SecondOrderSection(CrossoverSide side, double w0, double d) {
  const double c = std::cos(w0);
  const double k = std::sin(w0) * d;
  const bool high_pass = side == CrossoverSide::kHighPass;
  if (1 + k == 0) {
    const double b0 = high_pass ? (1 + c) / 2 : (1 - c) / 2;
    return BiquadSection(b0, high_pass ? -2 * b0 : 2 * b0, b0, kZeroA0, -2 * c, 1 - k);
  }
  const double sigma = Square(std::sin(w0 / 2));
  FilterSection section;
  section.den = ResonantQuadratic(sigma, k);
  if (high_pass) {
    // b0 = (1 + cos w0) / 2 = 1 - sigma; the numerator is (1 - z^-1)^2 scaled.
    section.num = {0, 0, Square(1 - sigma)};
  } else {
    // b0 = (1 - cos w0) / 2 = sigma; the numerator is (1 + z^-1)^2 scaled.
    const double s2 = sigma * sigma;
    section.num = {s2, -2 * s2, s2};
  }
  return section;
}

FilterSection FirstOrderSection(CrossoverSide side, double w0, double d0) {
  const double t = std::tan(w0 / 2);
  FilterSection section;
  if (side == CrossoverSide::kHighPass) {
    const double u = d0 * t;
    if (u + 1 == 0) return BiquadSection(1, -1, 0, kZeroA0, u - 1, 0);
    section.num = {0, 1, 0};
    section.den = {u * u, (1 + u) * (1 - u), 0};
  } else {
    if (t + d0 == 0) return BiquadSection(t, t, 0, kZeroA0, t - d0, 0);
    section.num = {t * t, -t * t, 0};
    section.den = {t * t, (d0 + t) * (d0 - t), 0};
  }
  return section;
}

// Prototype section mapped by the bilinear transform with K = tan(w0 / 2).
FilterSection BesselSection(double w0, double c, double h) {
  const double k = std::tan(w0 / 2);
  const double k2 = k * k;
  const double a0 = c * k + k2 + h;
  const double a2 = k2 - c * k + h;
  const double k4 = k2 * k2;
  FilterSection section;
  section.num = {k4, -2 * k4, k4};
  section.den = {k4, -k2 * (2 * k2 + 2 * h - c * c), a0 * a2};
  return section;
}

Biquad SecondOrderBiquad(CrossoverSide side, double w0, double d) {
  const double c = std::cos(w0);
  const double k = std::sin(w0) * d;
  const double a0 = 1 + k == 0 ? kZeroA0 : 1 + k;
  if (side == CrossoverSide::kHighPass) {
    const double b0 = (1 + c) / 2;
    return {b0, -2 * b0, b0, a0, -2 * c, 1 - k};
  }
  const double b0 = (1 - c) / 2;
  return {b0, 2 * b0, b0, a0, -2 * c, 1 - k};
}

Biquad FirstOrderBiquad(CrossoverSide side, double w0, double d0) {
  const double t = std::tan(w0 / 2);
  if (side == CrossoverSide::kHighPass) {
    const double a0 = d0 * t + 1 == 0 ? kZeroA0 : d0 * t + 1;
    return {1, -1, 0, a0, d0 * t - 1, 0};
  }
  const double a0 = t + d0 == 0 ? kZeroA0 : t + d0;
  return {t, t, 0, a0, t - d0, 0};
}

Biquad BesselBiquad(double w0, double c, double h) {
  const double k = std::tan(w0 / 2);
  const double k2 = k * k;
  return {k2, 2 * k2, k2, c * k + k2 + h, 2 * k2 - 2 * h, k2 - c * k + h};
}

}  // namespace

FilterSection BiquadSection(double b0, double b1, double b2, double a0, double a1, double a2) {
  // |p0 + p1 z^-1 + p2 z^-2|^2 on the unit circle, written in phi.
  const auto power = [](double p0, double p1, double p2) {
    return PhiQuadratic{Square(p0 + p1 + p2), -4 * (p0 * p1 + 4 * p0 * p2 + p1 * p2), 16 * p0 * p2};
  };
  return {power(b0, b1, b2), power(a0, a1, a2)};
}

PeakingShape PeakingBandShape(double f0_hz, double q) {
  const double octaves = std::asinh(1 / (2 * q)) / 0.34657359;
  const double w0 = kOmega0PerHz * f0_hz;
  const double s = std::sin(w0);
  // The processor's bandwidth is twice the textbook one: ln 2, not ln 2 / 2.
  return {w0, s * std::sinh(0.69314718 * octaves * w0 / s)};
}

FilterSection PeakingSection(double f0_hz, double gain_db, double q) {
  const double a = std::pow(10.0, gain_db / 40);
  const auto [w0, alpha] = PeakingBandShape(f0_hz, q);
  const double sigma = Square(std::sin(w0 / 2));
  return {ResonantQuadratic(sigma, alpha * a), ResonantQuadratic(sigma, alpha / a)};
}

FilterSection ShelfSection(EqType type, double f0_hz, double gain_db) {
  const bool low = type == kLowShelf;
  const double scale = low ? 1.2727272727 : 0.76923076923;
  const double w0 = scale * kOmega0PerHz * f0_hz;
  const double a = std::pow(10.0, gain_db / 40);
  const double alpha = (std::sin(w0) / 2) * std::sqrt((a + 1 / a) * (1 / 1.3 - 1) + 2);
  const double beta = 2 * std::sqrt(a) * alpha;
  const double beta2 = beta * beta;
  const double c = std::cos(w0);
  const double sigma = Square(std::sin(w0 / 2));
  // With p = (A+1) + (A-1)c and m = (A+1) - (A-1)c, the low shelf's denominator is
  // (p + beta, ..., p - beta) and its numerator A (m + beta, ..., m - beta); the high
  // shelf swaps p and m. Their sums over the taps are 8 sigma and 8 A sigma.
  const double p = (a + 1) + (a - 1) * c;
  const double m = (a + 1) - (a - 1) * c;
  const PhiQuadratic with_p = {4 * sigma * sigma, beta2 - 4 * sigma * p, (p + beta) * (p - beta)};
  const PhiQuadratic with_m = {4 * a * a * sigma * sigma, beta2 - 4 * a * sigma * m,
                               (m + beta) * (m - beta)};
  const auto times_a2 = [a2 = a * a](const PhiQuadratic& q) {
    return PhiQuadratic{a2 * q.c0, a2 * q.c1, a2 * q.c2};
  };
  if (low) return {times_a2(with_m), with_p};
  return {times_a2(with_p), with_m};
}

// One walk over a type's section table, for the squared-magnitude sections of the level
// graph and for the coefficients of the complex views alike, so the two never disagree
// about which sections a type has.
template <typename Cascade, typename FirstOrder, typename SecondOrder, typename Bessel>
Cascade BuildCrossover(CrossoverSide side, int type, double fc_hz, FirstOrder first_order,
                       SecondOrder second_order, Bessel bessel) {
  type = std::clamp(type, 0, 11);
  Cascade cascade;
  if (side == CrossoverSide::kLowPass && IsBessel(type)) {
    const BesselTable& table = kLowPassBessel[type / 3];
    const double w0 = kOmega0PerHz * (fc_hz / table.divisor);
    for (const auto& [c, h] : table.sections) {
      if (c != 0) cascade.Add(bessel(w0, c, h));
    }
    return cascade;
  }
  const SectionTable& table =
      side == CrossoverSide::kHighPass ? kHighPassTypes[type] : kLowPassTypes[type];
  const double w0 = kOmega0PerHz * (fc_hz / table.divisor);
  for (int i = 0; i < 4; ++i) {
    const double d = table.d[i];
    if (d == 0) continue;
    cascade.Add(i == 0 && table.first_order ? first_order(side, w0, d)
                                            : second_order(side, w0, d));
  }
  return cascade;
}

SectionCascade CrossoverSections(CrossoverSide side, int type, double fc_hz) {
  return BuildCrossover<SectionCascade>(side, type, fc_hz, FirstOrderSection,
                                        SecondOrderSection, BesselSection);
}

BiquadCascade CrossoverBiquads(CrossoverSide side, int type, double fc_hz) {
  return BuildCrossover<BiquadCascade>(side, type, fc_hz, FirstOrderBiquad, SecondOrderBiquad,
                                       BesselBiquad);
}

}  // namespace veltrane
