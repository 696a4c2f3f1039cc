#pragma once

// Fits a channel's EQ bands to a target in the processor's own steps: the FreqTable,
// EqGainTable and QTable indices and the three band types. It searches those indices from
// the start instead of fitting free values and rounding them, because rounding loses
// accuracy exactly where room modes are narrow.

#include <array>
#include <span>
#include <vector>

#include "model/channels.h"
#include "model/parameter_model.h"

namespace veltrane {

struct FitSettings {
  double low_hz = 20;
  double high_hz = 500;
  // The whole EQ, all eight bands summed (kept ones too), never rises above this anywhere
  // in the range; cuts go down to the table's -24 dB.
  double max_boost_db = 3;
  std::array<bool, kBandsPerChannel> free{true, true, true, true, true, true, true, true};
  bool allow_shelves = true;
};

// Everything on the fit grid (1/48 octave over the range, FitGrid).
struct FitProblem {
  std::vector<double> hz;
  std::vector<double> measured_db;  // the measurement, smoothed as shown
  std::vector<double> target_db;    // aligned to the measurement
  std::vector<double> fixed_db;     // the channel's processing but its bands (crossover, gain)
  std::array<BandParams, kBandsPerChannel> bands{};  // the channel's bands now
};

struct FitResult {
  // Free bands as fitted (type, freq, q and the gain of their type set; a band left flat
  // has the gain index of 0 dB), the others as they were.
  std::array<BandParams, kBandsPerChannel> bands{};
  double rms_before_db = 0;  // with the bands of the problem
  double rms_after_db = 0;
};

// 1/48-octave points from low_hz up to and including high_hz; empty unless
// 0 < low_hz <= high_hz.
std::vector<double> FitGrid(double low_hz, double high_hz);

// One band's level in true dB (20 log10 |H|) at each frequency, as the processor has it.
std::vector<double> BandLevelsDb(const BandParams& band, std::span<const double> hz);

// RMS in dB of measured + fixed + the bands' levels - target over the problem's grid. Points
// where that is not finite (a muted channel, a NaN, a missing value) are left out; with none
// left it is infinity.
double RmsErrorDb(const FitProblem& problem, const std::array<BandParams, kBandsPerChannel>& bands);

// The problem's grid is the fit's; settings.low_hz / high_hz only say where MakeFitProblem
// put it. Where the kept bands alone already rise above max_boost_db, the free ones may add
// no boost there. A problem without a usable point gives its own bands back unchanged.
FitResult FitEq(const FitProblem& problem, const FitSettings& settings);

// The two plainer methods the fitter is measured against and starts from, under the same
// settings and boost limit:
// - "biggest deviation first": each free band in turn goes as a peaking band to the point
//   furthest from the target with the gain that cancels it there, and the best Q;
FitResult FitEqGreedy(const FitProblem& problem, const FitSettings& settings);
// - free-valued peaking bands (any frequency, gain and Q) found by a Nelder-Mead search one
//   band after another, then rounded to the tables and cut back until the boost limit holds.
FitResult FitEqRoundedOptimum(const FitProblem& problem, const FitSettings& settings);

}  // namespace veltrane
