#pragma once

// The single in-memory copy of every parameter, each a small integer: an index into a
// value table or a choice list, or a flag. Values taken from an image may lie outside
// the ranges the controls offer (mute 2, ratio 12); the model keeps them as received.

#include <array>
#include <cstdint>

#include "model/channels.h"

namespace veltrane {

struct ChannelParams {
  std::uint8_t mute = 0;
  std::uint8_t polarity = 0;
  std::uint8_t gain = 120;  // ChannelGainTable index
  std::uint16_t delay = 0;  // steps of 0.021 ms
  std::uint8_t eq_bypass = 0;
  std::uint8_t hp_freq = 0;  // FreqTable index; 0 means off on the graph
  std::uint8_t hp_type = 0;
  std::uint8_t lp_freq = 240;  // 240 means off on the graph
  std::uint8_t lp_type = 0;

  friend bool operator==(const ChannelParams&, const ChannelParams&) = default;
};

struct OutputParams {
  std::uint8_t route = 0;
  std::uint8_t limiter_threshold = 0;
  std::uint8_t limiter_attack = 0;
  std::uint8_t limiter_release = 0;
  std::uint8_t limiter_ratio = 0;

  friend bool operator==(const OutputParams&, const OutputParams&) = default;
};

inline constexpr std::array<std::uint8_t, kBandsPerChannel> kDefaultBandFreqs = {
    0, 33, 57, 80, 112, 136, 160, 174};
inline constexpr std::uint8_t kDefaultQ = 4;
inline constexpr std::uint16_t kDefaultEqGain = 120;

enum EqType : std::uint8_t { kPeaking = 0, kLowShelf = 1, kHighShelf = 2 };

struct BandParams {
  std::uint8_t freq = 0;  // FreqTable index
  std::uint8_t type = kPeaking;
  std::uint16_t peak_gain = kDefaultEqGain;   // EqGainTable index, used by PEQ
  std::uint16_t shelf_gain = kDefaultEqGain;  // EqGainTable index, used by both shelves
  std::uint8_t q = kDefaultQ;                 // QTable index

  // The gain the user sees and edits: the one that belongs to the type.
  std::uint16_t ActiveGain() const { return type == kPeaking ? peak_gain : shelf_gain; }
  std::uint16_t& ActiveGain() { return type == kPeaking ? peak_gain : shelf_gain; }

  friend bool operator==(const BandParams&, const BandParams&) = default;
};

// Start values of band number 0..7.
BandParams DefaultBand(int band_number);

// A band in physical units: its type (0..2) and the table entries of its indices, taken
// into the tables' ranges (an image may hold an index past their end).
struct BandValues {
  int type = kPeaking;
  double freq_hz = 0;
  double gain_db = 0;  // the gain of the band's type
  double q = 0;
};
BandValues BandValuesOf(const BandParams& band);

struct ParameterModel {
  ParameterModel();

  std::array<ChannelParams, kChannelCount> channels{};
  std::array<OutputParams, kOutputCount> outputs{};  // Out 1..Out 4
  std::array<BandParams, kBandCount> bands{};
  std::uint8_t panel_locked = 0;  // lock byte of the last image

  OutputParams& Output(int channel) { return outputs[OutputIndex(channel)]; }
  const OutputParams& Output(int channel) const { return outputs[OutputIndex(channel)]; }

  friend bool operator==(const ParameterModel&, const ParameterModel&) = default;
};

}  // namespace veltrane
