#include "response/response_math.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace veltrane {
namespace {

// The peaking curve has always been drawn with this truncated pi; the other curves
// use the full one.
constexpr double kPeakingPi = 3.141592;
constexpr double kSampleRate = 96000;

// Graph columns over the three decades from 20 Hz to 20 kHz.
constexpr int kDecadeSpan = kGraphWidth - 46 - kAxisInsetLeft - kAxisInsetRight;  // 767

// phi = sin^2(w / 2) of every curve column, for the two w scales. Row index i holds
// column i + 41, as in the store.
struct ColumnPhi {
  std::array<double, kResponseRowLength> peaking{};
  std::array<double, kResponseRowLength> full{};
};

const ColumnPhi& Columns() {
  static const ColumnPhi columns = [] {
    ColumnPhi c;
    for (int i = kFirstResponseIndex; i <= kLastResponseIndex; ++i) {
      const double f = ColumnFrequency(i + 41);
      const double w_peaking = 2 * kPeakingPi * f / kSampleRate;
      const double w_full = 2 * std::numbers::pi * f / kSampleRate;
      const double s_peaking = std::sin(w_peaking / 2);
      const double s_full = std::sin(w_full / 2);
      c.peaking[i] = s_peaking * s_peaking;
      c.full[i] = s_full * s_full;
    }
    return c;
  }();
  return columns;
}

void FillFlat(ResponseRow row) {
  std::fill(row.begin() + kFirstResponseIndex, row.begin() + kLastResponseIndex + 1, 0.0);
}

// The sum of the sections' DisplayDb values, taken as one logarithm of the product of
// their squared magnitudes.
void EvaluateSections(std::span<const FilterSection> sections,
                      const std::array<double, kResponseRowLength>& phi, ResponseRow row) {
  if (sections.empty()) {
    FillFlat(row);
    return;
  }
  std::array<double, kResponseRowLength> num;
  std::array<double, kResponseRowLength> den;
  const FilterSection& first = sections.front();
  for (int i = kFirstResponseIndex; i <= kLastResponseIndex; ++i) {
    num[i] = first.num.At(phi[i]);
    den[i] = first.den.At(phi[i]);
  }
  for (const FilterSection& s : sections.subspan(1)) {
    for (int i = kFirstResponseIndex; i <= kLastResponseIndex; ++i) {
      num[i] *= s.num.At(phi[i]);
      den[i] *= s.den.At(phi[i]);
    }
  }
  // DisplayDb(sqrt(r)) = 20 ln(r) / ln(101).
  static const double kDbPerLogPower = 20 / std::log(101.0);
  for (int i = kFirstResponseIndex; i <= kLastResponseIndex; ++i) {
    row[i] = kDbPerLogPower * std::log(num[i] / den[i]);
  }
}

bool ValidChannel(int channel) { return channel >= 0 && channel < kChannelCount; }

}  // namespace

ResponseStore::ResponseStore()
    : values_(static_cast<std::size_t>(kResponseRowCount) * kResponseRowLength, 0.0) {}

ConstResponseRow ResponseStore::Row(int row) const {
  return ConstResponseRow(values_.data() + static_cast<std::size_t>(row) * kResponseRowLength,
                          kResponseRowLength);
}

ResponseRow ResponseStore::MutableRow(int row) {
  return ResponseRow(values_.data() + static_cast<std::size_t>(row) * kResponseRowLength,
                     kResponseRowLength);
}

double ResponseStore::Value(int row, int x) const {
  const int index = ResponseIndex(x);
  if (index < 0 || index >= kResponseRowLength) return 0.0;
  return Row(row)[index];
}

double ColumnFrequency(double x) {
  return 20 * std::pow(10.0, 3 * (x - 41 - kAxisInsetLeft) / kDecadeSpan);
}

double BandPointGainDb(int y) {
  const double g = 15 - static_cast<double>(y - 16) / (kGraphHeight - 38) * 45;
  return std::trunc(g * 10) / 10;
}

double DisplayDb(double magnitude) { return 40 * std::log(magnitude) / std::log(101.0); }

BandPoint PlaceBandPoint(const BandParams& band, int type) {
  const int freq = std::min<int>(band.freq, kFreqIndexMax);
  const int gain =
      std::min<int>(type == kPeaking ? band.peak_gain : band.shelf_gain, kEqGainIndexMax);
  return {FreqToX(kFreqTable[freq]), EqGainToY(kEqGainTable[gain])};
}

double CrossoverCornerHz(CrossoverSide side, int freq_index) {
  freq_index = std::clamp(freq_index, 0, kFreqIndexMax);
  if (side == CrossoverSide::kHighPass && freq_index == 0) return 1.0;
  if (side == CrossoverSide::kLowPass && freq_index == kFreqIndexMax) return 60000.0;
  return kFreqTable[freq_index];
}

void ComputeBandRow(ResponseRow row, int type, BandPoint point, int q_index) {
  const double f0 = ColumnFrequency(point.x);
  const double g = BandPointGainDb(point.y);
  // 0.0 dB is unity for every band type, whatever the frequency.
  if (g == 0.0) {
    FillFlat(row);
    return;
  }
  type = std::clamp(type, 0, 2);
  if (type == kPeaking) {
    const double q = kQTable[std::clamp(q_index, 0, kQIndexMax)];
    const FilterSection section = PeakingSection(f0, g, q);
    EvaluateSections({&section, 1}, Columns().peaking, row);
  } else {
    const FilterSection section = ShelfSection(static_cast<EqType>(type), f0, g);
    EvaluateSections({&section, 1}, Columns().full, row);
  }
}

void ComputeCrossoverRow(ResponseRow row, CrossoverSide side, int type, double fc_hz) {
  const SectionCascade cascade = CrossoverSections(side, type, fc_hz);
  EvaluateSections(cascade.Sections(), Columns().full, row);
}

void ComputeBandCurve(ResponseStore& store, int band_id, int type, BandPoint point, int q_index) {
  if (band_id < 0 || band_id >= kBandCount) return;
  ComputeBandRow(store.MutableRow(band_id), type, point, q_index);
}

void ComputeHighPassCurve(ResponseStore& store, int channel, int type, int freq_index) {
  if (!ValidChannel(channel)) return;
  ComputeCrossoverRow(store.MutableRow(HighPassRow(channel)), CrossoverSide::kHighPass, type,
                      CrossoverCornerHz(CrossoverSide::kHighPass, freq_index));
}

void ComputeLowPassCurve(ResponseStore& store, int channel, int type, int freq_index) {
  if (!ValidChannel(channel)) return;
  ComputeCrossoverRow(store.MutableRow(LowPassRow(channel)), CrossoverSide::kLowPass, type,
                      CrossoverCornerHz(CrossoverSide::kLowPass, freq_index));
}

double ChannelTotalDb(const ResponseStore& store, const ParameterModel& model, int channel, int x) {
  if (!ValidChannel(channel)) return 0.0;
  double total = 0.0;
  for (int band = 0; band < kBandsPerChannel; ++band) {
    total += store.Value(BandId(channel, band), x);
  }
  total += store.Value(HighPassRow(channel), x);
  total += store.Value(LowPassRow(channel), x);
  const int gain = std::min<int>(model.channels[channel].gain, kChannelGainIndexMax);
  return total + kChannelGainTable[gain];
}

int TotalToY(double total_db) {
  const double y = (15 - total_db) / 45 * (kGraphHeight - 38) + 16;
  // A NaN level has no place on the graph; send it below, out of sight.
  if (std::isnan(y)) return kOffGraphPixel;
  return static_cast<int>(
      std::clamp(y, -static_cast<double>(kOffGraphPixel), static_cast<double>(kOffGraphPixel)));
}

void FullRecompute(ResponseStore& store, const ParameterModel& model,
                   std::array<BandPoint, kBandCount>& points) {
  for (int b = 0; b < kBandCount; ++b) {
    const BandParams& band = model.bands[b];
    points[b] = PlaceBandPoint(band, band.type);
    ComputeBandCurve(store, b, band.type, points[b], band.q);
  }
  for (int ch = 0; ch < kChannelCount; ++ch) {
    const ChannelParams& params = model.channels[ch];
    ComputeHighPassCurve(store, ch, params.hp_type, params.hp_freq);
    ComputeLowPassCurve(store, ch, params.lp_type, params.lp_freq);
  }
}

}  // namespace veltrane
