#pragma once

// Channels and bands. ChannelId order holds in frames, the image and every table.

#include <array>
#include <string_view>

namespace veltrane {

inline constexpr int kChannelCount = 6;
inline constexpr int kOutputCount = 4;
inline constexpr int kBandsPerChannel = 8;
inline constexpr int kBandCount = kChannelCount * kBandsPerChannel;

enum ChannelId : int { kInA = 0, kInB = 1, kOut1 = 2, kOut2 = 3, kOut3 = 4, kOut4 = 5 };

constexpr bool IsOutput(int channel) { return channel >= kOut1 && channel <= kOut4; }
constexpr int OutputIndex(int channel) { return channel - kOut1; }
constexpr int BandId(int channel, int band) { return channel * kBandsPerChannel + band; }
constexpr int ChannelOfBand(int band_id) { return band_id / kBandsPerChannel; }
constexpr int BandNumber(int band_id) { return band_id % kBandsPerChannel; }

// Legend, strip, graph title and detail page captions.
inline constexpr std::array<std::string_view, kChannelCount> kChannelCaptions = {
    "IN", "In B", "H_OUT", "M_OUT", "L_OUT", "Out 4"};
// Group captions of the detail window.
inline constexpr std::array<std::string_view, kChannelCount> kChannelGroupCaptions = {
    "In ", "In B", "H_Out", "M_Out", "L_Out", "Out 4"};

}  // namespace veltrane
