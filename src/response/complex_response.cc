#include "response/complex_response.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "model/tables.h"
#include "response/response_math.h"

namespace veltrane {
namespace {

using Complex = std::complex<double>;

constexpr double kSamplesPerMs = kSampleRateHz / 1000;

// Complex products and quotients written out: the std::complex operators guard against
// infinities and NaN through library calls that cost more than a filter section. The
// values here are finite, and a zero denominator (a pole on the unit circle) gives
// infinities either way.
Complex Mul(Complex a, Complex b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

Complex Div(Complex a, Complex b) {
  const double scale = 1 / std::norm(b);
  return {(a.real() * b.real() + a.imag() * b.imag()) * scale,
          (a.imag() * b.real() - a.real() * b.imag()) * scale};
}

double RadiansPerSample(double hz) { return 2 * std::numbers::pi * hz / kSampleRateHz; }

// A product of polynomials in z^-1 and its derivative by w, in plain real arithmetic:
// std::complex multiplication guards against infinities through a library call, which
// costs more than the whole section here.
struct PolyProduct {
  double re = 1, im = 0;    // P
  double dre = 0, dim = 0;  // dP / dw

  // Multiplies by p0 + p1 z^-1 + p2 z^-2 at z^-1 = (c1, -s1), z^-2 = (c2, -s2).
  void Times(double p0, double p1, double p2, double c1, double s1, double c2, double s2) {
    const double vre = p0 + p1 * c1 + p2 * c2;
    const double vim = -(p1 * s1 + p2 * s2);
    // d/dw of p_k e^{-jkw} is -jk p_k e^{-jkw}.
    const double dvre = -(p1 * s1 + 2 * p2 * s2);
    const double dvim = -(p1 * c1 + 2 * p2 * c2);
    const double nre = re * vre - im * vim;
    const double nim = re * vim + im * vre;
    const double ndre = dre * vre - dim * vim + re * dvre - im * dvim;
    const double ndim = dre * vim + dim * vre + re * dvim + im * dvre;
    re = nre;
    im = nim;
    dre = ndre;
    dim = ndim;
  }
};

}  // namespace

ComplexPoint operator*(const ComplexPoint& a, const ComplexPoint& b) {
  return {Mul(a.h, b.h), Mul(a.dh_dw, b.h) + Mul(a.h, b.dh_dw)};
}

Biquad PeakingBiquad(double f0_hz, double gain_db, double q) {
  const double a = std::pow(10.0, gain_db / 40);
  const auto [w0, alpha] = PeakingBandShape(f0_hz, q);
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
      const BandValues v = BandValuesOf(model.bands[BandId(channel, b)]);
      if (v.gain_db == 0.0) continue;  // unity for every band type
      if (v.type == kPeaking) {
        p.Add(PeakingBiquad(v.freq_hz, v.gain_db, v.q));
      } else {
        p.Add(ShelfBiquad(static_cast<EqType>(v.type), v.freq_hz, v.gain_db));
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
    // Held by name: a span of a temporary cascade would outlive it in the loop.
    const BiquadCascade cascade = CrossoverBiquads(side, high ? ch.hp_type : ch.lp_type, fc);
    for (const Biquad& q : cascade.Sections()) p.Add(q);
  }
  const double gain_db = kChannelGainTable[std::min<int>(ch.gain, kChannelGainIndexMax)];
  p.gain = ch.mute != 0 ? 0.0 : std::pow(10.0, gain_db / 20) * (ch.polarity != 0 ? -1 : 1);
  p.delay_ms = std::min<int>(ch.delay, kDelayMax) * kDelayStepMs;
  return p;
}

ComplexPoint EvaluateFilters(const ChannelProcessing& processing, const FrequencyGrid::Trig& t) {
  PolyProduct num, den;
  for (const Biquad& q : processing.Sections()) {
    num.Times(q.b0, q.b1, q.b2, t.c1, t.s1, t.c2, t.s2);
    den.Times(q.a0, q.a1, q.a2, t.c1, t.s1, t.c2, t.s2);
  }
  // H = N / D and H' = (N' D - N D') / D^2.
  const Complex n(num.re, num.im), d(den.re, den.im);
  const Complex dn(num.dre, num.dim), dd(den.dre, den.dim);
  const Complex h = Div(n, d);
  return {h, Div(dn - Mul(h, dd), d)};
}

ComplexPoint EvaluateFilters(const ChannelProcessing& processing, double hz) {
  return EvaluateFilters(processing, FrequencyGrid(std::span(&hz, 1)).trig(0));
}

ComplexPoint DelayAndGain(double delay_ms, double gain, double hz) {
  if (delay_ms == 0) return {gain, 0.0};
  const double samples = delay_ms * kSamplesPerMs;
  const Complex shift = gain * std::polar(1.0, -RadiansPerSample(hz) * samples);
  return {shift, Mul(Complex(0, -samples), shift)};
}

ComplexPoint Evaluate(const ChannelProcessing& processing, double hz) {
  return EvaluateFilters(processing, hz) * DelayAndGain(processing.delay_ms, processing.gain, hz);
}

double LevelDb(const ComplexPoint& p) { return 20 * std::log10(std::abs(p.h)); }

double PhaseDegrees(const ComplexPoint& p) { return std::arg(p.h) * 180 / std::numbers::pi; }

double GroupDelayMs(const ComplexPoint& p) {
  if (p.h == Complex(0, 0)) return std::nan("");
  // tau = -d arg(H) / dw = -Im(H' / H), in samples.
  return -Div(p.dh_dw, p.h).imag() / kSamplesPerMs;
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

std::vector<double> CurveColumnFrequencies() {
  std::vector<double> hz;
  for (int x = kFirstCurveColumn; x <= kLastCurveColumn; ++x) hz.push_back(ColumnFrequency(x));
  return hz;
}

FrequencyGrid::FrequencyGrid(std::span<const double> hz) : hz_(hz.begin(), hz.end()) {
  trig_.reserve(hz.size());
  for (const double f : hz) {
    const double w = RadiansPerSample(f);
    const double c = std::cos(w), s = std::sin(w);
    trig_.push_back({c, s, c * c - s * s, 2 * s * c});
  }
}

std::vector<ComplexPoint> EvaluateCurve(const ChannelProcessing& processing,
                                        const FrequencyGrid& grid) {
  std::vector<ComplexPoint> curve;
  curve.reserve(grid.size());
  for (std::size_t i = 0; i < grid.size(); ++i) {
    curve.push_back(EvaluateFilters(processing, grid.trig(i)) *
                    DelayAndGain(processing.delay_ms, processing.gain, grid.hz()[i]));
  }
  return curve;
}

std::vector<ComplexPoint> EvaluateCurve(const ChannelProcessing& processing,
                                        std::span<const double> hz) {
  return EvaluateCurve(processing, FrequencyGrid(hz));
}

std::vector<ComplexPoint> EvaluateCurve(const OutputPath& path, std::span<const double> hz) {
  std::vector<ComplexPoint> curve;
  curve.reserve(hz.size());
  for (const double f : hz) curve.push_back(Evaluate(path, f));
  return curve;
}

OutputCurves ComputeOutputCurves(const ParameterModel& model, std::span<const int> outputs,
                                 const FrequencyGrid& grid) {
  OutputCurves curves;
  const std::size_t n = grid.size();
  curves.sum.assign(n, ComplexPoint{0.0, 0.0});
  std::array<std::vector<ComplexPoint>, 2> inputs;
  for (const int out : outputs) {
    if (!IsOutput(out)) continue;
    const OutputPath path = OutputPathOf(model, out);
    std::vector<ComplexPoint> feed(n, ComplexPoint{0.0, 0.0});
    for (int in = 0; in < 2; ++in) {
      if (!path.routed[in]) continue;
      if (inputs[in].empty()) inputs[in] = EvaluateCurve(path.inputs[in], grid);
      for (std::size_t i = 0; i < n; ++i) feed[i] += inputs[in][i];
    }
    const std::vector<ComplexPoint> own = EvaluateCurve(path.output, grid);
    for (std::size_t i = 0; i < n; ++i) {
      feed[i] = feed[i] * own[i];
      curves.sum[i] += feed[i];
    }
    curves.outputs.push_back(out);
    curves.each.push_back(std::move(feed));
  }
  return curves;
}

std::vector<ComplexPoint> SumOfOutputs(const ParameterModel& model, std::span<const int> outputs,
                                       std::span<const double> hz) {
  return ComputeOutputCurves(model, outputs, FrequencyGrid(hz)).sum;
}

}  // namespace veltrane
