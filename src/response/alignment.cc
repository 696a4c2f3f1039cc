#include "response/alignment.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

#include "model/tables.h"
#include "response/response_math.h"

namespace veltrane {
namespace {

using Complex = std::complex<double>;

constexpr int kPointsPerOctave = 48;
// Below this a flatter choice is no flatter: it keeps ties on the simplest setting.
constexpr double kFlatnessEpsilonDb = 1e-9;

double LevelOf(const OutputPath& path, double hz) { return LevelDb(Evaluate(path, hz)); }

bool Silent(const OutputPath& path) {
  const bool fed =
      (path.routed[0] && path.inputs[0].gain != 0) || (path.routed[1] && path.inputs[1].gain != 0);
  return path.output.gain == 0 || !fed;
}

// First the output whose high-pass sits higher: it plays above the other.
std::array<int, 2> UpperAndLower(const ParameterModel& model, int first, int second) {
  const ChannelParams& a = model.channels[first];
  const ChannelParams& b = model.channels[second];
  if (a.hp_freq != b.hp_freq)
    return a.hp_freq > b.hp_freq ? std::array{first, second} : std::array{second, first};
  return a.lp_freq >= b.lp_freq ? std::array{first, second} : std::array{second, first};
}

double BisectCrossing(const OutputPath& a, const OutputPath& b, double low, double high) {
  const auto diff = [&](double hz) { return LevelOf(a, hz) - LevelOf(b, hz); };
  const bool low_sign = diff(low) > 0;
  for (int i = 0; i < 40; ++i) {
    const double mid = std::sqrt(low * high);
    (diff(mid) > 0) == low_sign ? low = mid : high = mid;
  }
  return std::sqrt(low * high);
}

// The path with its delay taken out and its polarity made normal: the search puts its
// own back.
OutputPath Bare(OutputPath path) {
  path.output.delay_ms = 0;
  path.output.gain = std::abs(path.output.gain);
  return path;
}

struct Candidate {
  int second_polarity = 0;
  std::array<int, 2> delay_steps{};
  double flatness_db = std::numeric_limits<double>::infinity();
};

void Consider(Candidate& best, double flatness, int polarity, int delayed, int k) {
  if (flatness < best.flatness_db - kFlatnessEpsilonDb) {
    best.flatness_db = flatness;
    best.second_polarity = polarity;
    best.delay_steps = delayed == 0 ? std::array{k, 0} : std::array{0, k};
  }
}

double RatioDb(double high, double low) {
  return low > 0 ? 10 * std::log10(high / low) : std::numeric_limits<double>::infinity();
}

// Every delay of 0..kDelayMax steps on either output and both polarities of the second,
// over the octave's points. With u the delayed output and v the other, both polarities
// come from one cross term: |u +- v|^2 = |u|^2 + |v|^2 +- 2 Re(u conj v). The delay
// phasor is stepped by one multiplication per step.
Candidate Search(std::span<const Complex> a, std::span<const Complex> b, double first_sign,
                 std::span<const double> hz) {
  Candidate best;
  const std::size_t n = hz.size();
  std::vector<Complex> step(n);
  for (std::size_t i = 0; i < n; ++i) {
    step[i] = std::polar(1.0, -2 * std::numbers::pi * hz[i] * kDelayStepMs / 1000);
  }
  std::vector<double> ure(n), uim(n);
  for (int delayed = 0; delayed < 2; ++delayed) {
    const std::span<const Complex> u = delayed == 0 ? a : b;
    const std::span<const Complex> v = delayed == 0 ? b : a;
    for (std::size_t i = 0; i < n; ++i) {
      ure[i] = u[i].real();
      uim[i] = u[i].imag();
    }
    for (int k = 0; k <= kDelayMax; ++k) {
      const double inf = std::numeric_limits<double>::infinity();
      double low_same = inf, high_same = 0, low_inv = inf, high_inv = 0;
      for (std::size_t i = 0; i < n; ++i) {
        const double vre = v[i].real(), vim = v[i].imag();
        const double base = ure[i] * ure[i] + uim[i] * uim[i] + vre * vre + vim * vim;
        const double cross = 2 * (ure[i] * vre + uim[i] * vim);
        low_same = std::min(low_same, base + cross);
        high_same = std::max(high_same, base + cross);
        low_inv = std::min(low_inv, base - cross);
        high_inv = std::max(high_inv, base - cross);
        const double sre = step[i].real(), sim = step[i].imag();
        const double r = ure[i] * sre - uim[i] * sim;
        uim[i] = ure[i] * sim + uim[i] * sre;
        ure[i] = r;
      }
      // "Same" means both outputs with the first's sign; the other is the second flipped.
      const int same = first_sign > 0 ? 0 : 1;
      Consider(best, RatioDb(high_same, low_same), same, delayed, k);
      Consider(best, RatioDb(high_inv, low_inv), 1 - same, delayed, k);
    }
  }
  return best;
}

}  // namespace

double FlatnessDb(std::span<const ComplexPoint> curve) {
  double low = std::numeric_limits<double>::infinity(), high = 0;
  for (const ComplexPoint& p : curve) {
    low = std::min(low, std::norm(p.h));
    high = std::max(high, std::norm(p.h));
  }
  if (curve.empty()) return 0;
  return low > 0 ? 10 * std::log10(high / low) : std::numeric_limits<double>::infinity();
}

std::vector<double> CrossoverOctave(double crossover_hz) {
  return LogFrequencies(crossover_hz / std::numbers::sqrt2, crossover_hz * std::numbers::sqrt2,
                        kPointsPerOctave);
}

std::optional<double> CrossoverPointHz(const ParameterModel& model, int first, int second) {
  const auto [upper, lower] = UpperAndLower(model, first, second);
  const OutputPath a = OutputPathOf(model, upper);
  const OutputPath b = OutputPathOf(model, lower);
  if (Silent(a) || Silent(b)) return std::nullopt;
  const ChannelParams& up = model.channels[upper];
  const ChannelParams& down = model.channels[lower];
  const double from = up.hp_freq == 0 ? 20.0 : kFreqTable[up.hp_freq];
  const double to = down.lp_freq >= kFreqIndexMax ? 20000.0 : kFreqTable[down.lp_freq];
  const double middle = std::log(std::sqrt(from * to));
  const std::vector<double> grid = LogFrequencies(20, 20000, kPointsPerOctave);
  std::optional<double> best;
  double prev = LevelOf(a, grid[0]) - LevelOf(b, grid[0]);
  for (std::size_t i = 1; i < grid.size(); ++i) {
    const double diff = LevelOf(a, grid[i]) - LevelOf(b, grid[i]);
    if ((prev > 0) != (diff > 0)) {
      const double hz = BisectCrossing(a, b, grid[i - 1], grid[i]);
      if (!best || std::abs(std::log(hz) - middle) < std::abs(std::log(*best) - middle)) {
        best = hz;
      }
    }
    prev = diff;
  }
  return best;
}

AlignmentResult SuggestAlignment(const ParameterModel& model, int first, int second) {
  AlignmentResult result;
  if (!IsOutput(first) || !IsOutput(second) || first == second) return result;
  const OutputPath a = OutputPathOf(model, first);
  const OutputPath b = OutputPathOf(model, second);
  result.error = AlignmentError::kSilent;
  if (Silent(a) || Silent(b)) return result;
  result.error = AlignmentError::kNoCrossover;
  const std::optional<double> crossover = CrossoverPointHz(model, first, second);
  if (!crossover) return result;

  const std::vector<double> hz = CrossoverOctave(*crossover);
  const std::vector<ComplexPoint> before = SumOfOutputs(model, std::array{first, second}, hz);
  std::vector<Complex> bare_a, bare_b;
  for (const ComplexPoint& p : EvaluateCurve(Bare(a), hz)) bare_a.push_back(p.h);
  for (const ComplexPoint& p : EvaluateCurve(Bare(b), hz)) bare_b.push_back(p.h);
  const int first_polarity = model.channels[first].polarity != 0 ? 1 : 0;
  const Candidate best = Search(bare_a, bare_b, first_polarity ? -1 : 1, hz);

  AlignmentSuggestion& s = result.suggestion.emplace();
  s.outputs = {first, second};
  s.crossover_hz = *crossover;
  s.polarity = {first_polarity, best.second_polarity};
  s.delay_steps = best.delay_steps;
  s.flatness_before_db = FlatnessDb(before);
  s.flatness_after_db = best.flatness_db;
  return result;
}

ParameterModel WithAlignment(ParameterModel model, const AlignmentSuggestion& suggestion) {
  for (int i = 0; i < 2; ++i) {
    ChannelParams& ch = model.channels[suggestion.outputs[i]];
    ch.polarity = static_cast<std::uint8_t>(suggestion.polarity[i]);
    ch.delay = static_cast<std::uint16_t>(suggestion.delay_steps[i]);
  }
  return model;
}

}  // namespace veltrane
