#pragma once

// Value tables, choice lists, nearest-entry lookups, graph pixel conversions and
// display formats. Every parameter is an index; physical values exist for display
// and for the curve math only.

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace veltrane {

inline constexpr int kFreqCount = 241;
inline constexpr int kEqGainCount = 181;
inline constexpr int kChannelGainCount = 241;
inline constexpr int kQCount = 180;
inline constexpr int kDelayMax = 960;

inline constexpr int kFreqIndexMax = kFreqCount - 1;
inline constexpr int kEqGainIndexMax = kEqGainCount - 1;
inline constexpr int kChannelGainIndexMax = kChannelGainCount - 1;
inline constexpr int kQIndexMax = kQCount - 1;
inline constexpr int kEqGainZeroIndex = 120;
inline constexpr int kChannelGainZeroIndex = 120;

// Each entry is the double nearest to its decimal value.
extern const std::array<double, kFreqCount> kFreqTable;
extern const std::array<double, kEqGainCount> kEqGainTable;
extern const std::array<double, kChannelGainCount> kChannelGainTable;
extern const std::array<double, kQCount> kQTable;

// Choice lists: the item's position is the stored value.
extern const std::array<std::string_view, 3> kEqTypeNames;
extern const std::array<std::string_view, 12> kCrossoverTypeNames;
extern const std::array<std::string_view, 4> kRouteNames;
extern const std::array<std::string_view, 61> kLimiterThresholdNames;
extern const std::array<std::string_view, 107> kLimiterAttackNames;
extern const std::array<std::string_view, 6> kLimiterReleaseNames;
extern const std::array<std::string_view, 9> kLimiterRatioNames;

// Graph geometry, fixed when the main window is created.
inline constexpr int kGraphWidth = 937;
inline constexpr int kGraphHeight = 249;
inline constexpr int kAxisInsetLeft = static_cast<int>(0.09 * (kGraphWidth - 46));   // 80
inline constexpr int kAxisInsetRight = static_cast<int>(0.05 * (kGraphWidth - 46));  // 44
static_assert(kAxisInsetLeft == 80 && kAxisInsetRight == 44);

// Text typed by the user as a decimal number: optional leading '-', digits and at
// most one '.', at least one digit. Anything else is not a number.
std::optional<double> ParseDecimal(std::string_view text);

// Search over t[0..n]: the nearest entry, the lower index on an exact tie (in binary).
// A value above t[n] gives n.
int NearestIndex(std::span<const double> table, double value);

// Clamp to the table's range, then the nearest entry.
int NearestFreqIndex(double hz);
int NearestEqGainIndex(double db);
int NearestQIndex(double q);
// Text variants: nullopt when the text is not a number.
std::optional<int> NearestFreqIndex(std::string_view text);
std::optional<int> NearestEqGainIndex(std::string_view text);
std::optional<int> NearestQIndex(std::string_view text);

// Graph pixel conversions; pixels are truncated toward zero.
int FreqToX(double hz);
int EqGainToY(double db);
int XToFreqIndex(int x);
int YToEqGainIndex(int y);

// Display formats.
std::string FormatOneDecimal(double value);     // "0.0"
std::string FormatChannelGain(int gain_index);  // "0.0 dB" of ChannelGainTable
std::string FormatDelay(int delay_steps);       // "0.000 ms" of steps x 0.021
// The distance sound travels in the delay, for aligning drivers by their measured
// distance: "0.432 m / 1.42 ft" at 343 m/s.
inline constexpr double kSpeedOfSoundMps = 343.0;
std::string FormatDelayDistance(int delay_steps);
std::string FormatShortest(double value);  // 1000 -> "1000", -3.2 -> "-3.2", 0 -> "0"

}  // namespace veltrane
