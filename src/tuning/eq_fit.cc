#include "tuning/eq_fit.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <numbers>
#include <numeric>
#include <optional>
#include <unordered_map>

#include "model/tables.h"
#include "response/complex_response.h"
#include "response/filter_sections.h"

namespace veltrane {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Rounding noise in a sum of band levels must not turn an allowed boost into a refused one.
constexpr double kBoostSlackDb = 1e-9;
constexpr int kFlatGain = kEqGainZeroIndex;

// One band as table indices.
struct Choice {
  int type = kPeaking;
  int freq = 0;
  int gain = kFlatGain;
  int q = 0;
};

bool IsFlat(const Choice& c) { return c.gain == kFlatGain; }

Choice ChoiceOf(const BandParams& band) {
  return {band.type <= kHighShelf ? int{band.type} : int{kPeaking},
          std::min<int>(band.freq, kFreqIndexMax),
          std::min<int>(band.ActiveGain(), kEqGainIndexMax), std::min<int>(band.q, kQIndexMax)};
}

BandParams WithChoice(BandParams band, const Choice& c) {
  band.type = static_cast<std::uint8_t>(c.type);
  band.freq = static_cast<std::uint8_t>(c.freq);
  band.q = static_cast<std::uint8_t>(c.q);
  band.ActiveGain() = static_cast<std::uint16_t>(c.gain);
  return band;
}

double Phi(double hz) {
  const double s = std::sin(std::numbers::pi * hz / kSampleRateHz);
  return s * s;
}

// 10 log10 x within about 1e-13 dB, several times faster than the library's log10, which
// is most of a fit's time: x = m 2^e with m in [1/sqrt 2, sqrt 2], and ln m from the atanh
// series in s = (m - 1) / (m + 1), |s| <= 0.172.
double TenLog10(double x) {
  const auto bits = std::bit_cast<std::uint64_t>(x);
  int e = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
  if (!(x > 0) || e == -1023 || e == 1024) return 10 * std::log10(x);  // 0, subnormal, inf, NaN
  double m = std::bit_cast<double>((bits & 0x000fffffffffffffull) | 0x3ff0000000000000ull);
  if (m > std::numbers::sqrt2) {
    m *= 0.5;
    ++e;
  }
  const double s = (m - 1) / (m + 1);
  const double s2 = s * s;
  const double series =
      1 + s2 * (1 / 3.0 +
                s2 * (1 / 5.0 +
                      s2 * (1 / 7.0 +
                            s2 * (1 / 9.0 + s2 * (1 / 11.0 + s2 * (1 / 13.0 + s2 * (1 / 15.0)))))));
  constexpr double kDbPerNeper = 10 / std::numbers::ln10;
  return (2 * s * series + e * std::numbers::ln2) * kDbPerNeper;
}

// 10 log10 |H|^2 of a section at each phi, written to out.
void SectionLevels(const FilterSection& s, std::span<const double> phi, double* out) {
  for (std::size_t i = 0; i < phi.size(); ++i) {
    out[i] = TenLog10(s.num.At(phi[i]) / s.den.At(phi[i]));
  }
}

// A band of any values; a gain of exactly 0 dB is unity for every type.
void BandLevels(int type, double hz, double gain_db, double q, std::span<const double> phi,
                double* out) {
  if (gain_db == 0.0) {
    std::fill(out, out + phi.size(), 0.0);
  } else if (type == kPeaking) {
    SectionLevels(PeakingSection(hz, gain_db, q), phi, out);
  } else {
    SectionLevels(ShelfSection(static_cast<EqType>(type), hz, gain_db), phi, out);
  }
}

void ChoiceLevels(const Choice& c, std::span<const double> phi, double* out) {
  BandLevels(c.type, kFreqTable[c.freq], kEqGainTable[c.gain], kQTable[c.q], phi, out);
}

// The points a fit looks at. The grid points carry the error; the table frequencies inside
// the range that fall between grid points are added for the boost limit only, because a
// narrow boost peaks exactly at its table frequency.
struct FitSpace {
  std::vector<double> hz;
  std::vector<double> phi;
  std::vector<double> residual;  // measured + fixed - target; 0 where not weighed
  std::vector<double> weight;    // 1 on grid points with a finite residual, else 0
  std::vector<double> cap;       // the highest the summed bands may reach
  std::size_t grid_points = 0;   // the first points; the rest only guard the limit
  int weighed = 0;
  int low_freq = 0;  // the table indices a band may move over
  int high_freq = kFreqIndexMax;
};

double At(const std::vector<double>& v, std::size_t i) {
  return i < v.size() ? v[i] : std::numeric_limits<double>::quiet_NaN();
}

void AddTableFrequencies(const FitProblem& problem, FitSpace& space) {
  if (problem.hz.empty()) return;
  const double low = problem.hz.front(), high = problem.hz.back();
  for (const double f : kFreqTable) {
    if (f < low || f > high) continue;
    const auto it = std::lower_bound(problem.hz.begin(), problem.hz.end(), f);
    const bool on_grid = (it != problem.hz.end() && std::abs(*it / f - 1) < 1e-6) ||
                         (it != problem.hz.begin() && std::abs(*(it - 1) / f - 1) < 1e-6);
    if (on_grid) continue;
    space.hz.push_back(f);
    space.residual.push_back(0);
    space.weight.push_back(0);
  }
}

void SetFrequencyRange(FitSpace& space) {
  if (space.hz.empty()) return;
  const auto [lo, hi] = std::minmax_element(space.hz.begin(), space.hz.end());
  // Half an octave beyond the range: a band centred just outside may still fit an edge.
  space.low_freq = NearestFreqIndex(*lo / std::numbers::sqrt2);
  space.high_freq = NearestFreqIndex(*hi * std::numbers::sqrt2);
}

// Sum of the levels of the bands not free at each point of the space.
std::vector<double> KeptLevels(const FitSpace& space, const FitProblem& problem,
                               const FitSettings& settings) {
  std::vector<double> kept(space.hz.size(), 0.0), one(space.hz.size());
  for (int b = 0; b < kBandsPerChannel; ++b) {
    if (settings.free[b]) continue;
    ChoiceLevels(ChoiceOf(problem.bands[b]), space.phi, one.data());
    for (std::size_t i = 0; i < kept.size(); ++i) kept[i] += one[i];
  }
  return kept;
}

// The kept bands are counted in the limit; where they alone already go above it, the free
// bands may add nothing there rather than making every fit impossible.
FitSpace MakeSpace(const FitProblem& problem, const FitSettings& settings) {
  FitSpace space;
  for (std::size_t i = 0; i < problem.hz.size(); ++i) {
    const double r =
        At(problem.measured_db, i) + At(problem.fixed_db, i) - At(problem.target_db, i);
    const bool usable = std::isfinite(r) && std::isfinite(problem.hz[i]) && problem.hz[i] > 0;
    space.hz.push_back(usable ? problem.hz[i] : 1000.0);
    space.residual.push_back(usable ? r : 0.0);
    space.weight.push_back(usable ? 1.0 : 0.0);
    space.weighed += usable ? 1 : 0;
  }
  space.grid_points = space.hz.size();
  AddTableFrequencies(problem, space);
  for (const double f : space.hz) space.phi.push_back(Phi(f));
  SetFrequencyRange(space);
  const std::vector<double> kept = KeptLevels(space, problem, settings);
  for (const double k : kept)
    space.cap.push_back(std::max(settings.max_boost_db, k) + kBoostSlackDb);
  return space;
}

// Sum of squared errors of `sum` (all bands) over the weighed points.
double SquaredError(const FitSpace& space, std::span<const double> sum) {
  double total = 0;
  for (std::size_t i = 0; i < sum.size(); ++i) {
    const double e = space.residual[i] + sum[i];
    total += space.weight[i] * e * e;
  }
  return total;
}

// Squared error of others + one band, or infinity where the boost limit breaks.
double CostWith(const FitSpace& space, std::span<const double> others, const double* band) {
  double total = 0;
  for (std::size_t i = 0; i < others.size(); ++i) {
    const double s = others[i] + band[i];
    if (s > space.cap[i]) return kInfinity;
    const double e = space.residual[i] + s;
    total += space.weight[i] * e * e;
  }
  return total;
}

// The gain index that best scales a band's shape, from its levels at a known gain: peaking
// and shelf levels in dB are close to proportional to the gain, which is enough for a
// starting guess that the exact evaluations then check.
int ScaledGain(const FitSpace& space, std::span<const double> others, const double* band,
               double band_gain_db) {
  double num = 0, den = 0;
  for (std::size_t i = 0; i < others.size(); ++i) {
    const double unit = band[i] / band_gain_db;
    num -= space.weight[i] * (space.residual[i] + others[i]) * unit;
    den += space.weight[i] * unit * unit;
  }
  if (den <= 0) return kFlatGain;
  return NearestEqGainIndex(num / den);
}

// Band levels on the grid by choice: a search comes back to the same neighbours of a band
// again and again while the other bands move, and a lookup costs far less than the
// logarithms. Bounded: it starts afresh when full.
class LevelCache {
 public:
  explicit LevelCache(const FitSpace& space) : space_(space) {}

  // Valid until the next call.
  const double* Grid(const Choice& c) {
    const std::uint32_t key = (c.type << 24) | (c.freq << 16) | (c.gain << 8) | c.q;
    const std::size_t n = space_.grid_points;
    const auto found = slot_.find(key);
    if (found != slot_.end()) return Row(found->second);
    if (slot_.size() >= kMaxEntries) slot_.clear();
    const std::size_t slot = slot_.size();
    slot_.emplace(key, slot);
    if (slot / kBlockRows >= blocks_.size()) {
      blocks_.push_back(std::make_unique_for_overwrite<double[]>(kBlockRows * n));
    }
    double* levels = Row(slot);
    ChoiceLevels(c, std::span<const double>(space_.phi).first(n), levels);
    return levels;
  }

 private:
  static constexpr std::size_t kMaxEntries = 4096;
  static constexpr std::size_t kBlockRows = 64;

  double* Row(std::size_t slot) {
    return blocks_[slot / kBlockRows].get() + (slot % kBlockRows) * space_.grid_points;
  }

  const FitSpace& space_;
  std::unordered_map<std::uint32_t, std::size_t> slot_;
  std::vector<std::unique_ptr<double[]>> blocks_;  // rows of grid_points levels
};

// The bands of a fit, their levels and sum, and the moves that improve them.
class Search {
 public:
  Search(const FitSpace& space, const FitSettings& settings, LevelCache& cache,
         const std::array<Choice, 8>& start);

  double cost() const { return cost_; }
  const std::array<Choice, 8>& choices() const { return choice_; }
  const std::vector<double>& sum() const { return sum_; }
  const std::vector<double>& levels(int k) const { return levels_[k]; }
  bool feasible() const { return std::isfinite(cost_); }

  // Local steps over the four indices until none improves, then wider re-seats of single
  // bands while one helps.
  void Descend();
  // Bands that make no difference become flat.
  void FlattenIdle();

  // Sets band k as c when the whole stays within the limit and does not get worse.
  bool TrySet(int k, const Choice& c, bool strictly_better);
  enum class Outcome { kTaken, kWorse, kOverLimit };
  Outcome Attempt(int k, const Choice& c, bool strictly_better);

 private:
  bool LocalPass();
  bool ImproveBand(int k);
  bool TryMove(int k, const struct Move& m);
  bool TryShape(int k, Choice c);
  bool Reseat(int k);
  void Focus(int k);
  void Commit(int k, const Choice& c, const std::vector<double>& levels, double cost);

  const FitSpace& space_;
  const FitSettings& settings_;
  LevelCache* cache_;
  std::array<Choice, 8> choice_;
  std::array<std::vector<double>, 8> levels_;
  std::vector<double> sum_, others_, scratch_;
  std::array<std::size_t, 8> last_move_{};
  int focus_ = -1;
  double cost_ = kInfinity;
};

Search::Search(const FitSpace& space, const FitSettings& settings, LevelCache& cache,
               const std::array<Choice, 8>& start)
    : space_(space), settings_(settings), cache_(&cache), choice_(start) {
  const std::size_t n = space.hz.size();
  sum_.assign(n, 0.0);
  scratch_.resize(n);
  for (int b = 0; b < kBandsPerChannel; ++b) {
    levels_[b].resize(n);
    ChoiceLevels(choice_[b], space.phi, levels_[b].data());
    for (std::size_t i = 0; i < n; ++i) sum_[i] += levels_[b][i];
  }
  bool within = true;
  for (std::size_t i = 0; i < n; ++i) within = within && sum_[i] <= space.cap[i];
  cost_ = within ? SquaredError(space, sum_) : kInfinity;
}

void Search::Focus(int k) {
  if (focus_ == k) return;
  others_.resize(sum_.size());
  for (std::size_t i = 0; i < sum_.size(); ++i) others_[i] = sum_[i] - levels_[k][i];
  focus_ = k;
}

void Search::Commit(int k, const Choice& c, const std::vector<double>& levels, double cost) {
  choice_[k] = c;
  levels_[k] = levels;
  for (std::size_t i = 0; i < sum_.size(); ++i) sum_[i] = others_[i] + levels[i];
  cost_ = cost;
}

// The error needs only the grid points; the limit's other points are looked at only for a
// candidate that is better on the grid.
Search::Outcome Search::Attempt(int k, const Choice& c, bool strictly_better) {
  // A band left where it was, outside the range, may only stay flat: a gain there would
  // work on what the fit does not look at.
  if (!IsFlat(c) && (c.freq < space_.low_freq || c.freq > space_.high_freq)) {
    return Outcome::kWorse;
  }
  Focus(k);
  const std::size_t grid = space_.grid_points;
  const std::span<const double> phi(space_.phi);
  const double* levels = cache_->Grid(c);
  const double cost = CostWith(space_, std::span<const double>(others_).first(grid), levels);
  if (!std::isfinite(cost)) return Outcome::kOverLimit;
  const bool better = strictly_better ? cost < cost_ * (1 - 1e-12) : cost <= cost_;
  if (!better) return Outcome::kWorse;
  std::copy(levels, levels + grid, scratch_.begin());
  ChoiceLevels(c, phi.subspan(grid), scratch_.data() + grid);
  for (std::size_t i = grid; i < phi.size(); ++i) {
    if (others_[i] + scratch_[i] > space_.cap[i]) return Outcome::kOverLimit;
  }
  Commit(k, c, scratch_, cost);
  return Outcome::kTaken;
}

bool Search::TrySet(int k, const Choice& c, bool strictly_better) {
  return Attempt(k, c, strictly_better) == Outcome::kTaken;
}

// Band k with type, frequency and Q of c at the gain that best scales that shape, halved
// towards flat while a boost breaks the limit. The shape is taken at a fixed gain of the
// same sign, so that every gain of the band shares one cached row.
bool Search::TryShape(int k, Choice c) {
  if (c.freq < space_.low_freq || c.freq > space_.high_freq || c.q < 0 || c.q > kQIndexMax) {
    return false;
  }
  Choice shape = c;
  shape.gain = c.gain > kFlatGain ? kFlatGain + 30 : kFlatGain - 30;
  Focus(k);
  const std::span<const double> others = std::span<const double>(others_).first(space_.grid_points);
  Choice scaled = c;
  scaled.gain = ScaledGain(space_, others, cache_->Grid(shape), kEqGainTable[shape.gain]);
  for (int tries = 0; tries < 4 && !IsFlat(scaled); ++tries) {
    if (TrySet(k, scaled, true)) return true;
    if (scaled.gain < kFlatGain) break;  // a cut never breaks the limit: it is simply worse
    scaled.gain = kFlatGain + (scaled.gain - kFlatGain) / 2;
  }
  // The guess can miss where the limit or other bands bend the best gain: the band's own.
  return !IsFlat(c) && scaled.gain != c.gain && TrySet(k, c, true);
}

// The local steps of one band: a gain step keeps the shape, the others re-fit the gain.
struct Move {
  int gain = 0, freq = 0, q = 0;
  int type = -1;  // -1: the band's own
  bool flat = false;
};

constexpr std::array<Move, 21> kMoves = {{
    {1, 0, 0},
    {-1, 0, 0},
    {4, 0, 0},
    {-4, 0, 0},
    {0, 0, 0, -1, true},
    {0, 1, 0},
    {0, -1, 0},
    {0, 3, 0},
    {0, -3, 0},
    {0, 0, 1},
    {0, 0, -1},
    {0, 0, 3},
    {0, 0, -3},
    {0, 0, 9},
    {0, 0, -9},
    {0, 1, 2},
    {0, 1, -2},
    {0, -1, 2},
    {0, -1, -2},
    {0, 0, 0, kLowShelf},
    {0, 0, 0, kHighShelf},
}};

bool Search::TryMove(int k, const Move& m) {
  const Choice c = choice_[k];
  if (m.flat) return !IsFlat(c) && TrySet(k, Choice{c.type, c.freq, kFlatGain, c.q}, true);
  if (m.gain != 0) {
    const int gain = std::clamp(c.gain + m.gain, 0, kEqGainIndexMax);
    return gain != c.gain && TrySet(k, Choice{c.type, c.freq, gain, c.q}, true);
  }
  if (m.type >= 0) {
    // A shelf move goes to that shelf, or back to peaking from it.
    const int type = c.type == m.type ? kPeaking : m.type;
    if (!settings_.allow_shelves || (c.type != kPeaking && c.type != m.type)) return false;
    return TryShape(k, Choice{type, c.freq, c.gain, c.q});
  }
  if (m.q != 0 && c.type != kPeaking) return false;  // a shelf has no Q
  return TryShape(k, Choice{c.type, c.freq + m.freq, c.gain, c.q + m.q});
}

// The first move that lowers the error, starting with the one that did last time: a band
// on its way somewhere tends to keep going.
bool Search::ImproveBand(int k) {
  for (std::size_t i = 0; i < kMoves.size(); ++i) {
    const std::size_t m = (last_move_[k] + i) % kMoves.size();
    if (TryMove(k, kMoves[m])) {
      last_move_[k] = m;
      return true;
    }
  }
  return false;
}

bool Search::LocalPass() {
  bool any = false;
  for (int k = 0; k < kBandsPerChannel; ++k) {
    if (!settings_.free[k]) continue;
    while (ImproveBand(k)) any = true;
  }
  return any;
}

// Band k taken away and put where the remaining error is largest (the three largest
// peaks or dips), with a few widths.
bool Search::Reseat(int k) {
  Focus(k);
  std::vector<std::pair<double, std::size_t>> worst;
  const std::size_t n = sum_.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (space_.weight[i] == 0) continue;
    const double e = space_.residual[i] + others_[i];
    const double left = i > 0 ? space_.residual[i - 1] + others_[i - 1] : 0;
    const double right = i + 1 < n ? space_.residual[i + 1] + others_[i + 1] : 0;
    if (std::abs(e) >= std::abs(left) && std::abs(e) >= std::abs(right)) {
      worst.push_back({std::abs(e), i});
    }
  }
  const std::size_t keep = std::min<std::size_t>(3, worst.size());
  std::partial_sort(worst.begin(), worst.begin() + keep, worst.end(), std::greater<>());
  for (std::size_t w = 0; w < keep; ++w) {
    const int freq =
        std::clamp(NearestFreqIndex(space_.hz[worst[w].second]), space_.low_freq, space_.high_freq);
    for (const int q : {2, 6, 14, 29, 59}) {
      if (TryShape(k, Choice{kPeaking, freq, kFlatGain, q})) return true;
    }
  }
  return false;
}

void Search::Descend() {
  if (!feasible()) return;
  for (int rounds = 0; rounds < 50; ++rounds) {
    while (LocalPass()) {
    }
    bool reseated = false;
    for (int k = 0; k < kBandsPerChannel && !reseated; ++k) {
      if (settings_.free[k]) reseated = Reseat(k);
    }
    if (!reseated) return;
  }
}

void Search::FlattenIdle() {
  for (int k = 0; k < kBandsPerChannel; ++k) {
    const Choice c = choice_[k];
    if (settings_.free[k] && !IsFlat(c)) TrySet(k, Choice{c.type, c.freq, kFlatGain, c.q}, false);
  }
}

// ---------------------------------------------------------------------------------------
// Starting points and the plainer methods.

// The problem's bands with every free one flat (and peaking where shelves are not allowed).
std::array<Choice, 8> FlatStart(const FitProblem& problem, const FitSettings& settings) {
  std::array<Choice, 8> start;
  for (int b = 0; b < kBandsPerChannel; ++b) {
    start[b] = ChoiceOf(problem.bands[b]);
    if (!settings.free[b]) continue;
    start[b].gain = kFlatGain;
    if (!settings.allow_shelves) start[b].type = kPeaking;
  }
  return start;
}

FitResult ResultOf(const FitProblem& problem, const FitSettings& settings,
                   const std::array<Choice, 8>& choices) {
  FitResult result;
  const std::array<Choice, 8> flat = FlatStart(problem, settings);
  for (int b = 0; b < kBandsPerChannel; ++b) {
    // A band left flat keeps where it was, so that it is easy to find and to use.
    const Choice c = settings.free[b] && IsFlat(choices[b]) ? flat[b] : choices[b];
    result.bands[b] = settings.free[b] ? WithChoice(problem.bands[b], c) : problem.bands[b];
  }
  result.rms_before_db = RmsErrorDb(problem, problem.bands);
  result.rms_after_db = RmsErrorDb(problem, result.bands);
  return result;
}

// The weighed point furthest from the target, or -1; points within a sixth of an octave of
// one already tried are passed over.
int WorstPoint(const FitSpace& space, std::span<const double> sum, std::span<const int> tried) {
  int worst = -1;
  double worst_error = 0;
  for (std::size_t i = 0; i < sum.size(); ++i) {
    if (space.weight[i] == 0) continue;
    const bool near_tried = std::any_of(tried.begin(), tried.end(), [&](int t) {
      return std::abs(std::log2(space.hz[i] / space.hz[t])) < 1.0 / 6;
    });
    const double e = std::abs(space.residual[i] + sum[i]);
    if (!near_tried && e > worst_error) {
      worst_error = e;
      worst = static_cast<int>(i);
    }
  }
  return worst;
}

// The largest boost index up to `wanted` that keeps others + the band within the limit, from
// the band's levels at `wanted`: the levels scale with the gain closely enough for a guess
// that the caller then checks.
int AllowedBoost(const FitSpace& space, std::span<const double> others, const double* levels,
                 int wanted) {
  double scale = 1;
  for (std::size_t i = 0; i < others.size(); ++i) {
    if (levels[i] > 0) scale = std::min(scale, (space.cap[i] - others[i]) / levels[i]);
  }
  return kFlatGain + static_cast<int>(std::floor((wanted - kFlatGain) * std::max(scale, 0.0)));
}

// Greedy placement of band k at the worst point not yet tried: the gain that cancels the
// error there (a boost only as far as the limit allows), with the best Q of the table.
bool GreedyPlace(const FitSpace& space, Search& search, int k, std::span<const int> qs,
                 std::vector<int>& tried) {
  const std::vector<double> sum = search.sum();
  const int point = WorstPoint(space, sum, tried);
  if (point < 0) return false;
  tried.push_back(point);
  const int freq = std::clamp(NearestFreqIndex(space.hz[point]), space.low_freq, space.high_freq);
  const int wanted = NearestEqGainIndex(-(space.residual[point] + sum[point]));
  if (wanted == kFlatGain) return false;
  std::vector<double> others = sum, levels(sum.size());
  for (std::size_t i = 0; i < sum.size(); ++i) others[i] -= search.levels(k)[i];
  bool placed = false;
  for (const int q : qs) {
    Choice c{kPeaking, freq, wanted, q};
    const Search::Outcome outcome = search.Attempt(k, c, true);
    placed = placed || outcome == Search::Outcome::kTaken;
    if (outcome != Search::Outcome::kOverLimit) continue;
    // Only a boost can break the limit: as much of it as the limit allows.
    ChoiceLevels(c, space.phi, levels.data());
    for (c.gain = AllowedBoost(space, others, levels.data(), wanted); c.gain > kFlatGain;
         --c.gain) {
      const Search::Outcome lower = search.Attempt(k, c, true);
      placed = placed || lower == Search::Outcome::kTaken;
      if (lower != Search::Outcome::kOverLimit) break;
    }
  }
  return placed;
}

std::array<Choice, 8> GreedyChoices(const FitSpace& space, const FitProblem& problem,
                                    const FitSettings& settings, std::span<const int> qs) {
  LevelCache cache(space);
  Search search(space, settings, cache, FlatStart(problem, settings));
  if (!search.feasible()) return search.choices();
  for (int k = 0; k < kBandsPerChannel; ++k) {
    if (!settings.free[k]) continue;
    std::vector<int> tried;
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (GreedyPlace(space, search, k, qs, tried)) break;
    }
  }
  return search.choices();
}

// A plain Nelder-Mead search over three free values; bounds are the caller's business.
template <typename Cost>
std::array<double, 3> NelderMead(Cost cost, std::array<double, 3> x0,
                                 const std::array<double, 3>& step, int max_evals) {
  using Point = std::array<double, 3>;
  std::array<Point, 4> p;
  std::array<double, 4> f;
  for (int v = 0; v < 4; ++v) {
    p[v] = x0;
    if (v > 0) p[v][v - 1] += step[v - 1];
    f[v] = cost(p[v]);
  }
  const auto blend = [](const Point& a, const Point& b, double t) {
    return Point{a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), a[2] + t * (b[2] - a[2])};
  };
  for (int evals = 4; evals < max_evals;) {
    std::array<int, 4> order{0, 1, 2, 3};
    std::sort(order.begin(), order.end(), [&](int a, int b) { return f[a] < f[b]; });
    const int best = order[0], worst = order[3], second = order[2];
    Point centre{};
    for (int v = 0; v < 3; ++v) {
      for (int d = 0; d < 3; ++d) centre[d] += p[order[v]][d] / 3;
    }
    const Point reflected = blend(centre, p[worst], -1);
    const double fr = cost(reflected);
    ++evals;
    if (fr < f[best]) {
      const Point expanded = blend(centre, p[worst], -2);
      const double fe = cost(expanded);
      ++evals;
      p[worst] = fe < fr ? expanded : reflected;
      f[worst] = std::min(fe, fr);
    } else if (fr < f[second]) {
      p[worst] = reflected;
      f[worst] = fr;
    } else {
      const Point contracted = blend(centre, p[worst], 0.5);
      const double fc = cost(contracted);
      ++evals;
      if (fc < f[worst]) {
        p[worst] = contracted;
        f[worst] = fc;
      } else {
        for (int v = 1; v < 4; ++v) {
          p[order[v]] = blend(p[best], p[order[v]], 0.5);
          f[order[v]] = cost(p[order[v]]);
        }
        evals += 3;
      }
    }
  }
  return p[std::min_element(f.begin(), f.end()) - f.begin()];
}

// A free-valued peaking band as (log2 Hz, dB, log2 Q), held to what the processor can be
// given at all.
struct FreeBand {
  double log2_hz = 0, gain_db = 0, log2_q = 0;
};

FreeBand Bounded(const std::array<double, 3>& x) {
  return {std::clamp(x[0], std::log2(kFreqTable.front()), std::log2(kFreqTable.back())),
          std::clamp(x[1], kEqGainTable.front(), kEqGainTable.back()),
          std::clamp(x[2], std::log2(kQTable.front()), std::log2(kQTable.back()))};
}

void FreeBandLevels(const FreeBand& b, std::span<const double> phi, double* out) {
  BandLevels(kPeaking, std::exp2(b.log2_hz), b.gain_db, std::exp2(b.log2_q), phi, out);
}

// Band k fitted with free values against the others' sum, from x0; flat when it does not
// help.
std::optional<FreeBand> FitFreeBand(const FitSpace& space, std::span<const double> others,
                                    const FreeBand& x0) {
  std::vector<double> levels(others.size());
  const auto cost = [&](const std::array<double, 3>& x) {
    FreeBandLevels(Bounded(x), std::span<const double>(space.phi).first(others.size()),
                   levels.data());
    double total = 0;
    for (std::size_t i = 0; i < others.size(); ++i) {
      const double e = space.residual[i] + others[i] + levels[i];
      total += space.weight[i] * e * e;
    }
    return total;
  };
  const std::array<double, 3> start{x0.log2_hz, x0.gain_db, x0.log2_q};
  const FreeBand best = Bounded(NelderMead(cost, start, {0.25, 2.0, 0.5}, 160));
  if (cost({best.log2_hz, best.gain_db, best.log2_q}) >= SquaredError(space, others)) {
    return std::nullopt;
  }
  return best;
}

// Cuts the boost of the free band that rises most where the sum breaks the limit, one
// table step at a time, until it holds everywhere.
void EnforceLimit(const FitSpace& space, const FitSettings& settings,
                  std::array<Choice, 8>& choices) {
  const std::size_t n = space.hz.size();
  std::array<std::vector<double>, 8> levels;
  for (int b = 0; b < kBandsPerChannel; ++b) {
    levels[b].resize(n);
    ChoiceLevels(choices[b], space.phi, levels[b].data());
  }
  for (;;) {
    std::size_t worst = n;
    double excess = 0;
    for (std::size_t i = 0; i < n; ++i) {
      double s = 0;
      for (int b = 0; b < kBandsPerChannel; ++b) s += levels[b][i];
      if (s - space.cap[i] > excess) excess = s - space.cap[i], worst = i;
    }
    if (worst == n) return;
    int cut = -1;
    for (int b = 0; b < kBandsPerChannel; ++b) {
      if (!settings.free[b] || choices[b].gain <= kFlatGain) continue;
      if (cut < 0 || levels[b][worst] > levels[cut][worst]) cut = b;
    }
    if (cut < 0) return;  // cannot happen: flat free bands are always within the limit
    --choices[cut].gain;
    ChoiceLevels(choices[cut], space.phi, levels[cut].data());
  }
}

// Summed levels of the bands at phi; of the kept ones only, or of all.
std::vector<double> SummedLevels(const std::array<Choice, 8>& choices, const FitSettings& settings,
                                 bool kept_only, std::span<const double> phi) {
  std::vector<double> sum(phi.size(), 0.0), one(phi.size());
  for (int b = 0; b < kBandsPerChannel; ++b) {
    if (kept_only && settings.free[b]) continue;
    ChoiceLevels(choices[b], phi, one.data());
    for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += one[i];
  }
  return sum;
}

// The check points (grid and table frequencies) cannot see narrow boosts that add up between
// them; a 1/960-octave look over the range finds the peaks of the sum above the limit.
std::vector<double> Breaches(const FitSpace& space, const FitSettings& settings,
                             const std::array<Choice, 8>& choices) {
  const auto grid = std::span<const double>(space.hz).first(space.grid_points);
  const auto [low, high] = std::minmax_element(grid.begin(), grid.end());
  const std::vector<double> hz = LogFrequencies(*low, *high, 960);
  std::vector<double> phi(hz.size());
  std::transform(hz.begin(), hz.end(), phi.begin(), Phi);
  const std::vector<double> sum = SummedLevels(choices, settings, false, phi);
  const std::vector<double> kept = SummedLevels(choices, settings, true, phi);
  std::vector<double> breaches;
  for (std::size_t i = 0; i < hz.size(); ++i) {
    const bool peak =
        (i == 0 || sum[i] >= sum[i - 1]) && (i + 1 == hz.size() || sum[i] >= sum[i + 1]);
    if (peak && sum[i] > std::max(settings.max_boost_db, kept[i]) + kBoostSlackDb) {
      breaches.push_back(hz[i]);
    }
  }
  return breaches;
}

void AddCheckPoints(FitSpace& space, const FitSettings& settings,
                    const std::array<Choice, 8>& choices, std::span<const double> hz) {
  std::vector<double> phi(hz.size());
  std::transform(hz.begin(), hz.end(), phi.begin(), Phi);
  const std::vector<double> kept = SummedLevels(choices, settings, true, phi);
  for (std::size_t i = 0; i < hz.size(); ++i) {
    space.hz.push_back(hz[i]);
    space.phi.push_back(phi[i]);
    space.residual.push_back(0);
    space.weight.push_back(0);
    space.cap.push_back(std::max(settings.max_boost_db, kept[i]) + kBoostSlackDb);
  }
}

// Bands that break the limit between the check points: those peaks become check points, the
// boosts there are cut back, and (given a cache) the search goes on from there.
std::array<Choice, 8> HoldLimitBetweenPoints(FitSpace& space, const FitSettings& settings,
                                             LevelCache* cache, std::array<Choice, 8> choices) {
  for (int round = 0; round < 4; ++round) {
    const std::vector<double> breaches = Breaches(space, settings, choices);
    if (breaches.empty()) break;
    AddCheckPoints(space, settings, choices, breaches);
    EnforceLimit(space, settings, choices);  // cutting a boost never raises the sum elsewhere
    if (cache == nullptr || round == 3) continue;
    Search search(space, settings, *cache, choices);
    search.Descend();
    search.FlattenIdle();
    choices = search.choices();
  }
  return choices;
}

std::array<Choice, 8> RoundedOptimumChoices(const FitSpace& space, const FitProblem& problem,
                                            const FitSettings& settings) {
  std::array<Choice, 8> choices = FlatStart(problem, settings);
  std::array<std::optional<FreeBand>, 8> free_bands;
  const std::size_t n = space.hz.size();
  std::vector<double> others(n), one(n);
  // Two rounds: the second refits each band with all the others in place.
  for (int round = 0; round < 2; ++round) {
    for (int k = 0; k < kBandsPerChannel; ++k) {
      if (!settings.free[k]) continue;
      std::fill(others.begin(), others.end(), 0.0);
      for (int b = 0; b < kBandsPerChannel; ++b) {
        if (b == k) continue;
        if (free_bands[b]) {
          FreeBandLevels(*free_bands[b], space.phi, one.data());
        } else {
          ChoiceLevels(choices[b], space.phi, one.data());
        }
        for (std::size_t i = 0; i < n; ++i) others[i] += one[i];
      }
      FreeBand start;
      if (free_bands[k]) {
        start = *free_bands[k];
      } else {
        const int point = WorstPoint(space, others, {});
        if (point < 0) continue;
        start = Bounded({std::log2(space.hz[point]), -(space.residual[point] + others[point]), 1});
      }
      free_bands[k] =
          FitFreeBand(space, std::span<const double>(others).first(space.grid_points), start);
    }
  }
  for (int k = 0; k < kBandsPerChannel; ++k) {
    if (!free_bands[k]) continue;
    const FreeBand& b = *free_bands[k];
    choices[k] = {kPeaking, NearestFreqIndex(std::exp2(b.log2_hz)), NearestEqGainIndex(b.gain_db),
                  NearestQIndex(std::exp2(b.log2_q))};
  }
  EnforceLimit(space, settings, choices);
  return choices;
}

// The problem's own bands as a start, when they are allowed and within the limit.
std::array<Choice, 8> CurrentChoices(const FitProblem& problem, const FitSettings& settings) {
  std::array<Choice, 8> choices = FlatStart(problem, settings);
  for (int b = 0; b < kBandsPerChannel; ++b) {
    const Choice c = ChoiceOf(problem.bands[b]);
    if (settings.free[b] && (c.type == kPeaking || settings.allow_shelves)) choices[b] = c;
  }
  return choices;
}

}  // namespace

std::vector<double> FitGrid(double low_hz, double high_hz) {
  if (!(low_hz > 0) || !(high_hz >= low_hz) || !std::isfinite(high_hz)) return {};
  std::vector<double> hz = LogFrequencies(low_hz, high_hz, 48);
  if (hz.back() < high_hz * (1 - 1e-9)) hz.push_back(high_hz);
  return hz;
}

std::vector<double> BandLevelsDb(const BandParams& band, std::span<const double> hz) {
  std::vector<double> phi, out(hz.size());
  phi.reserve(hz.size());
  for (const double f : hz) phi.push_back(Phi(f));
  ChoiceLevels(ChoiceOf(band), phi, out.data());
  return out;
}

double RmsErrorDb(const FitProblem& problem,
                  const std::array<BandParams, kBandsPerChannel>& bands) {
  double total = 0;
  int count = 0;
  std::vector<double> sum(problem.hz.size(), 0.0);
  for (const BandParams& band : bands) {
    const std::vector<double> levels = BandLevelsDb(band, problem.hz);
    for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += levels[i];
  }
  for (std::size_t i = 0; i < problem.hz.size(); ++i) {
    const double e =
        At(problem.measured_db, i) + At(problem.fixed_db, i) + sum[i] - At(problem.target_db, i);
    if (!std::isfinite(e)) continue;
    total += e * e;
    ++count;
  }
  return count == 0 ? kInfinity : std::sqrt(total / count);
}

}  // namespace veltrane

namespace veltrane {
namespace {

std::array<int, kQCount> EveryQ() {
  std::array<int, kQCount> every_q;
  std::iota(every_q.begin(), every_q.end(), 0);
  return every_q;
}

FitResult Unchanged(const FitProblem& problem) {
  FitResult result;
  result.bands = problem.bands;
  result.rms_before_db = result.rms_after_db = RmsErrorDb(problem, problem.bands);
  return result;
}

// The highest level of the bands summed, on a look fine enough to see between check points.
double HighestBoost(const std::array<BandParams, kBandsPerChannel>& bands,
                    std::span<const double> fine) {
  std::vector<double> sum(fine.size(), 0.0);
  for (const BandParams& band : bands) {
    const std::vector<double> level = BandLevelsDb(band, fine);
    for (std::size_t i = 0; i < fine.size(); ++i) sum[i] += level[i];
  }
  return sum.empty() ? 0.0 : *std::max_element(sum.begin(), sum.end());
}

// A free band that does a few hundredths of a dB, or sits outside the range for next to
// nothing, reads as noise in a list of eight: it is set flat where that costs at most
// kTidyDb of RMS, keeps the fit no worse than `ceiling` (the baselines) and keeps the
// boost limit.
constexpr double kTidyDb = 0.02;
constexpr double kSmallGainDb = 0.4;

FitResult Tidy(const FitProblem& problem, const FitSettings& settings, FitResult result,
               double ceiling) {
  const double low = problem.hz.front();
  const double high = problem.hz.back();
  std::vector<double> fine;
  for (int b = 0; b < kBandsPerChannel; ++b) {
    const BandValues v = BandValuesOf(result.bands[b]);
    const double gain = v.gain_db;
    const bool outside = v.freq_hz < low || v.freq_hz > high;
    if (!settings.free[b] || gain == 0 || (!outside && std::abs(gain) > kSmallGainDb)) continue;
    std::array<BandParams, kBandsPerChannel> trial = result.bands;
    trial[b].ActiveGain() = kEqGainZeroIndex;
    const double rms = RmsErrorDb(problem, trial);
    if (rms > result.rms_after_db + kTidyDb || rms > ceiling) continue;
    if (gain < 0) {  // taking a cut away raises the sum
      if (fine.empty()) fine = LogFrequencies(low, high, 960);
      const double limit = std::max(settings.max_boost_db, HighestBoost(result.bands, fine));
      if (HighestBoost(trial, fine) > limit) continue;
    }
    result.bands = trial;
    result.rms_after_db = rms;
  }
  return result;
}

std::optional<std::array<Choice, 8>> BestDescent(const FitSpace& space, const FitSettings& settings,
                                                 LevelCache& cache,
                                                 std::span<const std::array<Choice, 8>> starts) {
  std::optional<Search> best;
  for (const auto& start : starts) {
    Search search(space, settings, cache, start);
    if (!search.feasible()) continue;
    search.Descend();
    search.FlattenIdle();
    if (!best || search.cost() < best->cost()) best.emplace(search);
  }
  if (!best) return std::nullopt;
  return best->choices();
}

}  // namespace

FitResult FitEqGreedy(const FitProblem& problem, const FitSettings& settings) {
  FitSpace space = MakeSpace(problem, settings);
  if (space.weighed == 0) return Unchanged(problem);
  const auto choices = GreedyChoices(space, problem, settings, EveryQ());
  return ResultOf(problem, settings, HoldLimitBetweenPoints(space, settings, nullptr, choices));
}

FitResult FitEqRoundedOptimum(const FitProblem& problem, const FitSettings& settings) {
  FitSpace space = MakeSpace(problem, settings);
  if (space.weighed == 0) return Unchanged(problem);
  const auto choices = RoundedOptimumChoices(space, problem, settings);
  return ResultOf(problem, settings, HoldLimitBetweenPoints(space, settings, nullptr, choices));
}

// The search runs from each start and the best end wins: from the greedy placement, from
// the rounded free-valued optimum and from the bands as they are. The search only takes
// steps that lower the error; the two plainer fits, finished as their own functions finish
// them, are kept as answers too, so the fit is never worse than either.
FitResult FitEq(const FitProblem& problem, const FitSettings& settings) {
  FitSpace space = MakeSpace(problem, settings);
  if (space.weighed == 0) return Unchanged(problem);
  LevelCache cache(space);
  std::vector<std::array<Choice, 8>> starts = {GreedyChoices(space, problem, settings, EveryQ()),
                                               RoundedOptimumChoices(space, problem, settings)};
  std::vector<FitResult> answers;
  for (const auto& start : starts) {
    FitSpace own = space;
    answers.push_back(
        ResultOf(problem, settings, HoldLimitBetweenPoints(own, settings, nullptr, start)));
  }
  // The descent starts with only bands it may move: one a start left outside the range
  // would keep working where the fit does not look.
  for (std::array<Choice, 8>& start : starts) {
    for (int b = 0; b < kBandsPerChannel; ++b) {
      Choice& c = start[b];
      if (settings.free[b] && (c.freq < space.low_freq || c.freq > space.high_freq)) {
        c.gain = kFlatGain;
      }
    }
  }
  // The bands as they are, unless all the free ones are flat: the greedy start began there.
  const std::array<Choice, 8> current = CurrentChoices(problem, settings);
  bool any_free_set = false;
  for (int b = 0; b < kBandsPerChannel; ++b) any_free_set |= settings.free[b] && !IsFlat(current[b]);
  if (any_free_set) starts.push_back(current);
  std::optional<std::array<Choice, 8>> best = BestDescent(space, settings, cache, starts);
  if (best) {
    answers.push_back(
        ResultOf(problem, settings, HoldLimitBetweenPoints(space, settings, &cache, *best)));
  }
  const double baselines = std::min(answers[0].rms_after_db, answers[1].rms_after_db);
  const FitResult& fit =
      *std::min_element(answers.begin(), answers.end(), [](const auto& a, const auto& b) {
        return a.rms_after_db < b.rms_after_db;
      });
  return Tidy(problem, settings, fit, baselines);
}

}  // namespace veltrane
