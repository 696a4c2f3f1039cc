#include "response/complex_response.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "model/tables.h"
#include "response/response_math.h"

namespace veltrane {
namespace {

using Complex = std::complex<double>;

constexpr double kSamplesPerMs = kSampleRateHz / 1000;

double RadiansPerSample(double hz) { return 2 * std::numbers::pi * hz / kSampleRateHz; }

// One section and its derivative by w at z^-1 = zi: P(zi) = p0 + p1 zi + p2 zi^2 and
// dP/dw = -j (p1 zi + 2 p2 zi^2).
ComplexPoint EvaluateSection(const Biquad& q, Complex zi) {
  const Complex zi2 = zi * zi;
  const Complex num = q.b0 + q.b1 * zi + q.b2 * zi2;
  const Complex den = q.a0 + q.a1 * zi + q.a2 * zi2;
  const Complex minus_j(0, -1);
  const Complex dnum = minus_j * (q.b1 * zi + 2 * q.b2 * zi2);
  const Complex dden = minus_j * (q.a1 * zi + 2 * q.a2 * zi2);
  return {num / den, (dnum * den - num * dden) / (den * den)};
}

ComplexPoint Unity() { return {1.0, 0.0}; }

}  // namespace

ComplexPoint operator*(const ComplexPoint& a, const ComplexPoint& b) {
  return {a.h * b.h, a.dh_dw * b.h + a.h * b.dh_dw};
}

Biquad PeakingBiquad(double f0_hz, double gain_db, double q) {
  const double octaves = std::asinh(1 / (2 * q)) / 0.34657359;
  const double a = std::pow(10.0, gain_db / 40);
  const double w0 = kOmega0PerHz * f0_hz;
  const double s = std::sin(w0);
  // The processor's bandwidth is twice the textbook one: ln 2, not ln 2 / 2.
  const double alpha = s * std::sinh(0.69314718 * octaves * w0 / s);
  const double c = std::cos(w0);
  return {1 + alpha * a, -2 * c, 1 - alpha * a, 1 + alpha / a, -2 * c, 1 - alpha / a};
}

Biquad ShelfBiquad(EqType type, double f0_hz, double gain_db) {
  if (gain_db == 0.0) return {};
  const bool low = type == kLowShelf;
  const double w0 = (low ? 1.2727272727 : 0.76923076923) * kOmega0PerHz * f0_hz;
  const double a = std::pow(10.0, gain_db / 40);
  const double alpha = (std::sin(w0) / 2) * std::sqrt((a + 1 / a) * (1 / 1.3 - 1) + 2);
  const double beta = 2 * std::sqrt(a) * alpha;
  const double c = std::cos(w0);
  if (low) {
    return {a * ((a + 1) - (a - 1) * c + beta), 2 * a * ((a - 1) - (a + 1) * c),
            a * ((a + 1) - (a - 1) * c - beta), (a + 1) + (a - 1) * c + beta,
            -2 * ((a - 1) + (a + 1) * c),       (a + 1) + (a - 1) * c - beta};
  }
  return {a * ((a + 1) + (a - 1) * c + beta), -2 * a * ((a - 1) + (a + 1) * c),
          a * ((a + 1) + (a - 1) * c - beta), (a + 1) - (a - 1) * c + beta,
          2 * ((a - 1) - (a + 1) * c),        (a + 1) - (a - 1) * c - beta};
}

ChannelProcessing ChannelProcessingOf(const ParameterModel& model, int channel) {
  ChannelProcessing p;
  if (channel < 0 || channel >= kChannelCount) {
    p.gain = 0;
    return p;
  }
  const ChannelParams& ch = model.channels[channel];
  if (ch.eq_bypass == 0) {
    for (int b = 0; b < kBandsPerChannel; ++b) {
      const BandParams& band = model.bands[BandId(channel, b)];
      const double f0 = kFreqTable[std::min<int>(band.freq, kFreqIndexMax)];
      const double g = kEqGainTable[std::min<int>(band.ActiveGain(), kEqGainIndexMax)];
      if (g == 0.0) continue;  // unity for every band type
      if (band.type == kPeaking) {
        p.Add(PeakingBiquad(f0, g, kQTable[std::min<int>(band.q, kQIndexMax)]));
      } else {
        p.Add(ShelfBiquad(band.type == kLowShelf ? kLowShelf : kHighShelf, f0, g));
      }
    }
  }
  for (const CrossoverSide side : {CrossoverSide::kHighPass, CrossoverSide::kLowPass}) {
    const bool high = side == CrossoverSide::kHighPass;
    const int freq_index = high ? ch.hp_freq : ch.lp_freq;
    // Off is off. The level graph draws it as a 1 Hz or 60 kHz filter to keep it out of
    // sight, but their phase is not out of sight: at 2 kHz the 60 kHz one alone turns an
    // H_OUT enough to fill a crossover's cancellation notch with a -30 dB floor.
    if (freq_index == (high ? 0 : kFreqIndexMax)) continue;
    const double fc = CrossoverCornerHz(side, freq_index);
    for (const Biquad& q : CrossoverBiquads(side, high ? ch.hp_type : ch.lp_type, fc).Sections()) {
      p.Add(q);
    }
  }
  const double gain_db = kChannelGainTable[std::min<int>(ch.gain, kChannelGainIndexMax)];
  p.gain = ch.mute != 0 ? 0.0 : std::pow(10.0, gain_db / 20) * (ch.polarity != 0 ? -1 : 1);
  p.delay_ms = std::min<int>(ch.delay, kDelayMax) * kDelayStepMs;
  return p;
}

ComplexPoint EvaluateFilters(const ChannelProcessing& processing, double hz) {
  const Complex zi = std::polar(1.0, -RadiansPerSample(hz));
  ComplexPoint total = Unity();
  for (const Biquad& q : processing.Sections()) total = total * EvaluateSection(q, zi);
  return total;
}

ComplexPoint DelayAndGain(double delay_ms, double gain, double hz) {
  const double samples = delay_ms * kSamplesPerMs;
  const Complex shift = gain * std::polar(1.0, -RadiansPerSample(hz) * samples);
  return {shift, Complex(0, -samples) * shift};
}

ComplexPoint Evaluate(const ChannelProcessing& processing, double hz) {
  return EvaluateFilters(processing, hz) * DelayAndGain(processing.delay_ms, processing.gain, hz);
}

double LevelDb(const ComplexPoint& p) { return 20 * std::log10(std::abs(p.h)); }

double PhaseDegrees(const ComplexPoint& p) { return std::arg(p.h) * 180 / std::numbers::pi; }

double GroupDelayMs(const ComplexPoint& p) {
  if (p.h == Complex(0, 0)) return std::nan("");
  // tau = -d arg(H) / dw = -Im(H' / H), in samples.
  return -(p.dh_dw / p.h).imag() / kSamplesPerMs;
}

OutputPath OutputPathOf(const ParameterModel& model, int output_channel) {
  OutputPath path;
  path.output = ChannelProcessingOf(model, output_channel);
  path.inputs = {ChannelProcessingOf(model, kInA), ChannelProcessingOf(model, kInB)};
  if (!IsOutput(output_channel)) return path;
  const int route = model.Output(output_channel).route;
  path.routed = {route == 1 || route == 3, route == 2 || route == 3};
  return path;
}

ComplexPoint Evaluate(const OutputPath& path, double hz) {
  ComplexPoint in = {0.0, 0.0};
  for (int i = 0; i < 2; ++i) {
    if (path.routed[i]) in += Evaluate(path.inputs[i], hz);
  }
  return in * Evaluate(path.output, hz);
}

std::vector<double> LogFrequencies(double low_hz, double high_hz, int points_per_octave) {
  std::vector<double> hz;
  const double octaves = std::log2(high_hz / low_hz);
  const int steps = static_cast<int>(std::floor(octaves * points_per_octave + 1e-9));
  hz.reserve(steps + 1);
  for (int i = 0; i <= steps; ++i) hz.push_back(low_hz * std::exp2(double(i) / points_per_octave));
  return hz;
}

std::vector<ComplexPoint> EvaluateCurve(const OutputPath& path, std::span<const double> hz) {
  std::vector<ComplexPoint> curve;
  curve.reserve(hz.size());
  for (const double f : hz) curve.push_back(Evaluate(path, f));
  return curve;
}

std::vector<ComplexPoint> EvaluateCurve(const ChannelProcessing& processing,
                                        std::span<const double> hz) {
  std::vector<ComplexPoint> curve;
  curve.reserve(hz.size());
  for (const double f : hz) curve.push_back(Evaluate(processing, f));
  return curve;
}

std::vector<ComplexPoint> SumOfOutputs(const ParameterModel& model, std::span<const int> outputs,
                                       std::span<const double> hz) {
  std::vector<ComplexPoint> sum(hz.size(), ComplexPoint{0.0, 0.0});
  for (const int out : outputs) {
    if (!IsOutput(out)) continue;
    const OutputPath path = OutputPathOf(model, out);
    for (std::size_t i = 0; i < hz.size(); ++i) sum[i] += Evaluate(path, hz[i]);
  }
  return sum;
}

}  // namespace veltrane
