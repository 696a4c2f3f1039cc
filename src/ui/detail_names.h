#pragma once

// Component names of the detail window's editors. Support engineers and tests find a
// control by these names, so they keep the numbering the window has always had, including
// the irregular numbers of bands 7 and 8. A field's two step buttons are named after the
// field with "Down" and "Up" appended ("RzEdit73Down", "RzEdit73Up").

#include <QString>
#include <array>

#include "model/channels.h"

namespace veltrane {

struct EqRowNumbers {
  std::array<int, kBandsPerChannel> frequency;  // RzEdit
  std::array<int, kBandsPerChannel> gain;       // RzEdit
  std::array<int, kBandsPerChannel> q;          // RzEdit
  std::array<int, kBandsPerChannel> type;       // RzComboBox
};

// In ChannelId order.
inline constexpr std::array<EqRowNumbers, kChannelCount> kEqRowNumbers = {{
    {{1, 2, 3, 4, 5, 6, 85, 88},
     {25, 26, 27, 28, 29, 30, 86, 89},
     {49, 50, 51, 52, 53, 54, 87, 90},
     {7, 8, 9, 10, 11, 12, 60, 61}},
    {{7, 8, 9, 10, 11, 12, 91, 92},
     {31, 32, 33, 34, 35, 36, 93, 94},
     {55, 56, 57, 58, 59, 60, 95, 96},
     {13, 14, 15, 16, 17, 18, 63, 62}},
    {{13, 14, 15, 16, 17, 18, 97, 98},
     {37, 38, 39, 40, 41, 42, 99, 100},
     {61, 62, 63, 64, 65, 66, 101, 102},
     {19, 20, 21, 22, 23, 24, 65, 64}},
    {{19, 20, 21, 22, 23, 24, 103, 104},
     {43, 44, 45, 46, 47, 48, 105, 106},
     {67, 68, 69, 70, 71, 72, 107, 108},
     {25, 26, 27, 28, 29, 30, 67, 66}},
    {{109, 110, 111, 112, 113, 114, 127, 128},
     {115, 116, 117, 118, 119, 120, 129, 130},
     {121, 122, 123, 124, 125, 126, 131, 132},
     {68, 69, 70, 71, 72, 73, 75, 74}},
    {{133, 134, 135, 136, 137, 138, 151, 152},
     {139, 140, 141, 142, 143, 144, 153, 154},
     {145, 146, 147, 148, 149, 150, 155, 156},
     {76, 77, 78, 79, 80, 81, 83, 82}},
}};

struct CrossoverNumbers {
  int high_pass_edit;
  int high_pass_type;
  int low_pass_edit;
  int low_pass_type;
};

inline constexpr std::array<CrossoverNumbers, kChannelCount> kCrossoverNumbers = {{
    {73, 31, 77, 35},
    {74, 32, 75, 33},
    {76, 34, 78, 36},
    {79, 37, 80, 38},
    {81, 39, 82, 40},
    {83, 41, 84, 42},
}};

inline constexpr int kFirstBypassButton = 1;  // RzButton1 .. RzButton6
inline constexpr int kFirstResetButton = 14;  // RzButton14 .. RzButton19

inline QString EditName(int number) { return QStringLiteral("RzEdit%1").arg(number); }
inline QString ComboName(int number) { return QStringLiteral("RzComboBox%1").arg(number); }
inline QString ButtonName(int number) { return QStringLiteral("RzButton%1").arg(number); }

// Controls that never had a component name of their own are named by role and ChannelId:
// "GainSlider2", "DelayLabel0", "LimiterRatio3", "Route5".
inline QString ChannelControlName(const char* role, int channel) {
  return QStringLiteral("%1%2").arg(QLatin1String(role)).arg(channel);
}

}  // namespace veltrane
