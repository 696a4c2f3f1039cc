#include "model/tables.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace veltrane {
namespace {

// FreqTable in tenths of a hertz: the values were rounded by hand and follow no single
// rule, so they are listed. Dividing integer tenths by 10.0 gives the nearest double.
constexpr std::array<int, kFreqCount> kFreqTenths = {
    197,    203,    209,    215,    221,    227,    234,    241,    248,    255,    263,    270,
    278,    287,    295,    304,    313,    322,    331,    341,    351,    361,    372,    383,
    394,    405,    417,    429,    442,    455,    468,    482,    496,    511,    526,    541,
    557,    573,    590,    607,    625,    643,    662,    682,    702,    722,    743,    765,
    787,    811,    834,    859,    884,    910,    936,    964,    992,    1020,   1050,   1080,
    1110,   1150,   1180,   1210,   1250,   1290,   1320,   1360,   1400,   1440,   1490,   1530,
    1580,   1620,   1670,   1720,   1790,   1820,   1870,   1930,   1980,   2040,   2100,   2160,
    2230,   2290,   2360,   2430,   2500,   2570,   2650,   2730,   2810,   2890,   2970,   3060,
    3150,   3240,   3340,   3440,   3540,   3640,   3750,   3860,   3970,   4090,   4200,   4330,
    4450,   4590,   4720,   4860,   5000,   5150,   5300,   5450,   5610,   5780,   5950,   6120,
    6300,   6480,   6670,   6870,   7070,   7280,   7490,   7710,   7940,   8170,   8410,   8660,
    8910,   9170,   9440,   9720,   10000,  10300,  10600,  10900,  11230,  11550,  11900,  12240,
    12600,  12970,  13350,  13740,  14140,  14560,  14980,  15420,  15870,  16340,  16820,  17310,
    17820,  18340,  18880,  19430,  20000,  20590,  21190,  21810,  22450,  23110,  23780,  24480,
    25200,  25940,  26700,  27480,  28280,  29110,  29970,  30840,  31750,  32680,  33640,  34620,
    35640,  36680,  37760,  38860,  40000,  41170,  42380,  43620,  44900,  46210,  47570,  48960,
    50400,  51870,  53390,  54960,  56570,  58230,  59930,  61690,  63500,  65360,  67270,  69240,
    71270,  73360,  75510,  77720,  80000,  82340,  84760,  87240,  89800,  92430,  95140,  97920,
    100000, 103000, 106000, 109000, 113000, 116000, 119000, 123000, 126000, 130000, 134000, 138000,
    142000, 146000, 151000, 155000, 160000, 164000, 169000, 174000, 179000, 184000, 190000, 195000,
    201000};

template <std::size_t N>
std::array<double, N> TenthsTable(int first_tenths, int step_tenths) {
  std::array<double, N> t{};
  for (std::size_t i = 0; i < N; ++i) {
    t[i] = (first_tenths + step_tenths * static_cast<int>(i)) / 10.0;
  }
  return t;
}

std::array<double, kFreqCount> MakeFreqTable() {
  std::array<double, kFreqCount> t{};
  for (int i = 0; i < kFreqCount; ++i) t[i] = kFreqTenths[i] / 10.0;
  return t;
}

// Backing store for the generated list texts; built once, never freed.
template <std::size_t N, typename F>
std::array<std::string_view, N> MakeNames(F&& text_of) {
  static std::array<std::string, N> storage;
  std::array<std::string_view, N> names{};
  for (std::size_t i = 0; i < N; ++i) {
    storage[i] = text_of(static_cast<int>(i));
    names[i] = storage[i];
  }
  return names;
}

double Clamp(double v, double lo, double hi) {
  if (v > hi) return hi;
  if (v < lo) return lo;
  return v;
}

// Column distance from the 20 Hz position, over the three decades of the graph.
constexpr double kDecadeSpan = kGraphWidth - 46 - kAxisInsetLeft - kAxisInsetRight;  // 767

}  // namespace

const std::array<double, kFreqCount> kFreqTable = MakeFreqTable();
const std::array<double, kEqGainCount> kEqGainTable = TenthsTable<kEqGainCount>(-240, 2);
const std::array<double, kChannelGainCount> kChannelGainTable =
    TenthsTable<kChannelGainCount>(-120, 1);
const std::array<double, kQCount> kQTable = TenthsTable<kQCount>(2, 2);

const std::array<std::string_view, 3> kEqTypeNames = {"PEQ", "LS 6dB", "HS 6dB"};
const std::array<std::string_view, 12> kCrossoverTypeNames = {
    "12db-Bworth", "12db-LR", "12db-Bessel", "18db-Bworth", "18db-LR", "18db-Bessel",
    "24db-Bworth", "24db-LR", "24db-Bessel", "48db-Bworth", "48db-LR", "48db-Bessel"};
const std::array<std::string_view, 4> kRouteNames = {"OFF", "A", "B", "A+B"};
const std::array<std::string_view, 61> kLimiterThresholdNames =
    MakeNames<61>([](int i) { return FormatOneDecimal((-200 + 5 * i) / 10.0) + "dB"; });
const std::array<std::string_view, 107> kLimiterAttackNames = MakeNames<107>([](int i) {
  if (i < 7) return FormatOneDecimal((3 + i) / 10.0);  // 0.3 .. 0.9
  if (i < 16) return FormatOneDecimal(i - 6);          // 1.0 .. 9.0
  return std::to_string(i - 6);                        // 10 .. 100
});
const std::array<std::string_view, 6> kLimiterReleaseNames = {"2X", "4X", "6X", "8X", "16X", "32X"};
const std::array<std::string_view, 9> kLimiterRatioNames = {"1.2:1", "1.5:1", "2:1",  "3:1",  "4:1",
                                                            "6:1",   "10:1",  "20:1", "inf:1"};

std::optional<double> ParseDecimal(std::string_view text) {
  std::size_t pos = 0;
  if (pos < text.size() && text[pos] == '-') ++pos;
  int digits = 0;
  int points = 0;
  for (std::size_t i = pos; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.') {
      if (++points > 1) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0) return std::nullopt;
  // from_chars takes the leading '-' and rounds to the nearest double, as the
  // compiler does for literals; "5." and ".5" are numbers too.
  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

int NearestIndex(std::span<const double> t, double v) {
  const int n = static_cast<int>(t.size()) - 1;
  for (int i = 1; i <= n; ++i) {
    if (v <= t[i]) return (v - t[i - 1]) > (t[i] - v) ? i : i - 1;
  }
  return n;
}

int NearestFreqIndex(double hz) { return NearestIndex(kFreqTable, Clamp(hz, 19.7, 20100)); }
int NearestEqGainIndex(double db) { return NearestIndex(kEqGainTable, Clamp(db, -24, 12)); }
int NearestQIndex(double q) { return NearestIndex(kQTable, Clamp(q, 0.2, 36)); }

std::optional<int> NearestFreqIndex(std::string_view text) {
  const auto v = ParseDecimal(text);
  if (!v) return std::nullopt;
  return NearestFreqIndex(*v);
}
std::optional<int> NearestEqGainIndex(std::string_view text) {
  const auto v = ParseDecimal(text);
  if (!v) return std::nullopt;
  return NearestEqGainIndex(*v);
}
std::optional<int> NearestQIndex(std::string_view text) {
  const auto v = ParseDecimal(text);
  if (!v) return std::nullopt;
  return NearestQIndex(*v);
}

int FreqToX(double hz) {
  return static_cast<int>(std::log10(hz / 20) * kDecadeSpan / 3 + 41 + kAxisInsetLeft);
}

int EqGainToY(double db) { return static_cast<int>((15 - db) / 45 * (kGraphHeight - 38) + 16); }

int XToFreqIndex(int x) {
  const double f = 20 * std::pow(10.0, (x - 41 - kAxisInsetLeft) * 3 / kDecadeSpan);
  return NearestIndex(kFreqTable, f);
}

int YToEqGainIndex(int y) {
  const double g = 15 - static_cast<double>(y - 18) / (kGraphHeight - 42) * 45;
  return NearestIndex(kEqGainTable, g);
}

std::string FormatOneDecimal(double value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", value);
  return buf;
}

std::string FormatChannelGain(int gain_index) {
  if (gain_index < 0 || gain_index > kChannelGainIndexMax) return {};
  return FormatOneDecimal(kChannelGainTable[gain_index]) + " dB";
}

std::string FormatDelay(int delay_steps) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f ms", delay_steps * 0.021);
  return buf;
}

std::string FormatDelayDistance(int delay_steps) {
  const double metres = delay_steps * 0.021 / 1000 * kSpeedOfSoundMps;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.3f m / %.2f ft", metres, metres / 0.3048);
  return buf;
}

std::string FormatShortest(double value) {
  char buf[32];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}

}  // namespace veltrane
