#pragma once

// Response curves of the graph: one value per graph column for every EQ band and
// crossover filter, kept in the ResponseStore, and each channel's total. This is
// display arithmetic only; nothing here reaches the device. The filters model a
// processor running at 96 kHz.

#include <array>
#include <span>
#include <vector>

#include "model/channels.h"
#include "model/parameter_model.h"
#include "model/tables.h"
#include "response/filter_sections.h"

namespace veltrane {

// Graph columns that carry a curve; column x is kept at row index x - 41, so indices
// 1..889 are used and index 0 and those above 889 are never written.
inline constexpr int kFirstCurveColumn = 42;
inline constexpr int kLastCurveColumn = kGraphWidth - 7;  // 930
inline constexpr int kResponseRowLength = kGraphWidth + 1;
inline constexpr int kFirstResponseIndex = 1;
inline constexpr int kLastResponseIndex = kGraphWidth - 48;  // 889
constexpr int ResponseIndex(int x) { return x - 41; }

// Rows: 0..47 the EQ bands by BandId, then the high-pass and the low-pass filter of
// each channel.
inline constexpr int kResponseRowCount = kBandCount + 2 * kChannelCount;
constexpr int HighPassRow(int channel) { return kBandCount + channel; }
constexpr int LowPassRow(int channel) { return kBandCount + kChannelCount + channel; }

using ResponseRow = std::span<double, kResponseRowLength>;
using ConstResponseRow = std::span<const double, kResponseRowLength>;

// All values start at 0.0 dB; a row keeps its values until its filter is computed again.
class ResponseStore {
 public:
  ResponseStore();

  // row must be 0..kResponseRowCount - 1.
  ConstResponseRow Row(int row) const;
  ResponseRow MutableRow(int row);

  // The value of graph column x; 0.0 for a column outside the row.
  double Value(int row, int x) const;

 private:
  std::vector<double> values_;
};

// Graph pixel position of an EQ band point.
struct BandPoint {
  int x = 0;
  int y = 0;

  friend bool operator==(const BandPoint&, const BandPoint&) = default;
};

// Where the points of bands 1..8 of every channel stand before anything is placed.
inline constexpr std::array<BandPoint, kBandsPerChannel> kInitialBandPoints = {
    {{110, 86}, {226, 86}, {302, 86}, {376, 86}, {479, 86}, {554, 86}, {632, 86}, {677, 86}}};

constexpr std::array<BandPoint, kBandCount> InitialBandPoints() {
  std::array<BandPoint, kBandCount> points{};
  for (int b = 0; b < kBandCount; ++b) points[b] = kInitialBandPoints[BandNumber(b)];
  return points;
}

// Frequency in Hz at graph column x; fractional columns are fine. 20 Hz is column 121
// and 20 kHz column 888.
double ColumnFrequency(double x);

// Band gain in dB read back from a point's y, truncated to 0.1 dB steps.
double BandPointGainDb(int y);

// The graph's level scale: 40 ln(m) / ln(101), a little under 20 log10(m).
double DisplayDb(double magnitude);

// The point of a band placed from its stored frequency and from its peak gain (type 0)
// or shelf gain (other types). Indices are taken into their tables' ranges.
BandPoint PlaceBandPoint(const BandParams& band, int type);

// Corner frequency of a crossover frequency index: high-pass index 0 and low-pass index
// 240 mean off and sit at 1 Hz and 60 kHz, out of sight.
double CrossoverCornerHz(CrossoverSide side, int freq_index);

// Row fillers. The band curve is computed from the point's pixel position, not from the
// stored values, so it follows the pixel grid. type 0 peaking, 1 low shelf, 2 high shelf;
// q_index is used by peaking only.
void ComputeBandRow(ResponseRow row, int type, BandPoint point, int q_index);
void ComputeCrossoverRow(ResponseRow row, CrossoverSide side, int type, double fc_hz);

// The same on the store. A band_id or channel out of range leaves the store untouched;
// types and indices are taken into their ranges.
void ComputeBandCurve(ResponseStore& store, int band_id, int type, BandPoint point, int q_index);
void ComputeHighPassCurve(ResponseStore& store, int channel, int type, int freq_index);
void ComputeLowPassCurve(ResponseStore& store, int channel, int type, int freq_index);

// The channel's level at column x: its eight band rows, its high-pass and low-pass rows
// and its gain. 0.0 for a channel out of range.
double ChannelTotalDb(const ResponseStore& store, const ParameterModel& model, int channel, int x);

// Graph pixel row of a level: +15 dB is row 16 and -30 dB row 227, truncated toward zero.
// Levels far off the graph are pinned to +-kOffGraphPixel so the result stays defined.
inline constexpr int kOffGraphPixel = 30000;
int TotalToY(double total_db);

// After a complete parameter set has been taken over: every band point is placed from
// the model and its row computed with the band's type, then each channel's high-pass
// and low-pass rows.
void FullRecompute(ResponseStore& store, const ParameterModel& model,
                   std::array<BandPoint, kBandCount>& points);

}  // namespace veltrane
