#pragma once

// The complex response of a channel's processing: the graph's filter sections as
// coefficients, evaluated at z = e^{jw} on the 96 kHz processor, times polarity, delay,
// gain and mute. It gives what the level curves cannot: phase, group delay, and the sum
// of several outputs, where a cancellation at a crossover shows.
//
// The bands use the model's stored frequency, gain and Q, not the graph's band points:
// the level view follows the pixel grid for its own history, but a phase or a sum that
// is to be trusted should follow what the processor was told.

#include <array>
#include <complex>
#include <span>
#include <vector>

#include "model/channels.h"
#include "model/parameter_model.h"
#include "response/filter_sections.h"

namespace veltrane {

inline constexpr double kSampleRateHz = 96000;
inline constexpr double kDelayStepMs = 0.021;

Biquad PeakingBiquad(double f0_hz, double gain_db, double q);
// type kLowShelf or kHighShelf; a gain of exactly 0 dB gives the unity section.
Biquad ShelfBiquad(EqType type, double f0_hz, double gain_db);

// A channel as one cascade of sections and a scalar: gain with polarity (negative when
// inverted, 0 when muted) and a pure delay.
struct ChannelProcessing {
  std::array<Biquad, kBandsPerChannel + 8> sections{};
  int count = 0;
  double gain = 1;  // linear, signed
  double delay_ms = 0;

  void Add(const Biquad& section) { sections[count++] = section; }
  std::span<const Biquad> Sections() const {
    return {sections.data(), static_cast<std::size_t>(count)};
  }
};

// Reads the channel's stored values; indices are taken into their tables' ranges. The
// eight bands are left out while the channel's EQ bypass is on, and bands at 0 dB are
// unity.
ChannelProcessing ChannelProcessingOf(const ParameterModel& model, int channel);

// H at one frequency and its derivative by w (radians per sample), which gives the
// group delay of a sum without differentiating numerically.
struct ComplexPoint {
  std::complex<double> h;
  std::complex<double> dh_dw;

  ComplexPoint& operator+=(const ComplexPoint& other) {
    h += other.h;
    dh_dw += other.dh_dw;
    return *this;
  }
};

// The product rule: the response of two stages in series.
ComplexPoint operator*(const ComplexPoint& a, const ComplexPoint& b);

ComplexPoint Evaluate(const ChannelProcessing& processing, double hz);
// The same without the channel's gain, polarity and delay.
ComplexPoint EvaluateFilters(const ChannelProcessing& processing, double hz);
// e^{-jw tau} scaled by gain, as a ComplexPoint.
ComplexPoint DelayAndGain(double delay_ms, double gain, double hz);

double LevelDb(const ComplexPoint& p);       // 20 log10 |H|; -infinity for 0
double PhaseDegrees(const ComplexPoint& p);  // wrapped to -180..180
double GroupDelayMs(const ComplexPoint& p);  // NaN where H is 0

// The processing that feeds an output: each input the route selects, then the output.
// With A+B the same signal is taken on both inputs (one source feeding the speaker), so
// the two input paths add.
struct OutputPath {
  ChannelProcessing output;
  std::array<ChannelProcessing, 2> inputs;
  std::array<bool, 2> routed{};
};

OutputPath OutputPathOf(const ParameterModel& model, int output_channel);
ComplexPoint Evaluate(const OutputPath& path, double hz);

// Frequencies from low_hz up to and including high_hz, points_per_octave to the octave.
std::vector<double> LogFrequencies(double low_hz, double high_hz, int points_per_octave);

// The frequencies of the graph's curve columns, first to last.
std::vector<double> CurveColumnFrequencies();

// The frequencies of a view with their sines and cosines, worked out once for every
// curve drawn on it.
class FrequencyGrid {
 public:
  explicit FrequencyGrid(std::span<const double> hz);

  std::size_t size() const { return hz_.size(); }
  const std::vector<double>& hz() const { return hz_; }
  // e^{-jw} as (cos w, sin w) and e^{-2jw} likewise, at point i.
  struct Trig {
    double c1, s1, c2, s2;
  };
  const Trig& trig(std::size_t i) const { return trig_[i]; }

 private:
  std::vector<double> hz_;
  std::vector<Trig> trig_;
};

// Evaluates a processing at every frequency of a view.
std::vector<ComplexPoint> EvaluateCurve(const ChannelProcessing& processing,
                                        const FrequencyGrid& grid);
std::vector<ComplexPoint> EvaluateCurve(const ChannelProcessing& processing,
                                        std::span<const double> hz);
std::vector<ComplexPoint> EvaluateCurve(const OutputPath& path, std::span<const double> hz);

// The chosen outputs' paths (channels kOut1..kOut4; others are left out) and their
// complex sum at each frequency. The inputs are evaluated once for all outputs.
struct OutputCurves {
  std::vector<int> outputs;
  std::vector<std::vector<ComplexPoint>> each;  // by position in outputs
  std::vector<ComplexPoint> sum;
};
OutputCurves ComputeOutputCurves(const ParameterModel& model, std::span<const int> outputs,
                                 const FrequencyGrid& grid);

std::vector<ComplexPoint> SumOfOutputs(const ParameterModel& model, std::span<const int> outputs,
                                       std::span<const double> hz);

}  // namespace veltrane
