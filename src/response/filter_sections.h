#pragma once

// The filter sections behind every response row, each held as its squared magnitude
// |H(w)|^2 = num(phi) / den(phi), two quadratics in phi = sin^2(w / 2). The a0
// normalisation cancels out of that ratio, and with phi and sin^2(w0 / 2) taken from
// sines the form keeps full precision where the textbook cos w evaluation cancels: a
// high-pass at 1 Hz seen at 10 Hz, or a 48 dB slope far into its stop band.

#include <array>
#include <span>

#include "model/parameter_model.h"

namespace veltrane {

// The filters model a 96 kHz processor; this stands for 2 pi / 96000.
inline constexpr double kOmega0PerHz = 6.544985e-05;

struct PhiQuadratic {
  double c0 = 1.0;
  double c1 = 0.0;
  double c2 = 0.0;

  double At(double phi) const { return c0 + phi * (c1 + phi * c2); }
};

struct FilterSection {
  PhiQuadratic num;
  PhiQuadratic den;
};

// Up to four sections in cascade. Unity sections are left out: they add exactly 0 dB.
template <typename Section>
struct Cascade {
  std::array<Section, 4> sections{};
  int count = 0;

  void Add(const Section& section) { sections[count++] = section; }
  std::span<const Section> Sections() const {
    return {sections.data(), static_cast<std::size_t>(count)};
  }
};
using SectionCascade = Cascade<FilterSection>;

enum class CrossoverSide { kHighPass, kLowPass };

// One section as its coefficients, b0 + b1 z^-1 + b2 z^-2 over a0 + a1 z^-1 + a2 z^-2,
// for the complex response (phase, group delay, sums) where |H|^2 is not enough.
struct Biquad {
  double b0 = 1, b1 = 0, b2 = 0;
  double a0 = 1, a1 = 0, a2 = 0;
};

using BiquadCascade = Cascade<Biquad>;

// Any biquad b0 + b1 z^-1 + b2 z^-2 over a0 + a1 z^-1 + a2 z^-2.
FilterSection BiquadSection(double b0, double b1, double b2, double a0, double a1, double a2);

// Peaking band at f0 with gain and Q. The bandwidth is twice the textbook one in
// octaves (the 0.69314718 factor); the graph has always drawn it that way.
FilterSection PeakingSection(double f0_hz, double gain_db, double q);
// The peaking band's angular frequency and alpha, shared by its magnitude section and its
// coefficients.
struct PeakingShape {
  double w0 = 0;
  double alpha = 0;
};
PeakingShape PeakingBandShape(double f0_hz, double q);

// Low shelf (kLowShelf) or high shelf (kHighShelf), slope 1.3. The caller handles a
// gain of exactly 0 dB, which is unity by definition.
FilterSection ShelfSection(EqType type, double f0_hz, double gain_db);

// Every crossover type 0..11 at corner frequency fc_hz, before the type's own divisor.
// A type outside 0..11 is taken as the nearest valid one.
SectionCascade CrossoverSections(CrossoverSide side, int type, double fc_hz);

// The same crossover as coefficients: the sections CrossoverSections squares, in the
// same order, with the same zero guards.
BiquadCascade CrossoverBiquads(CrossoverSide side, int type, double fc_hz);

}  // namespace veltrane
