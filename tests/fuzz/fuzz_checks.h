#pragma once

// Checks that more than one target makes.

#include <cstdint>
#include <span>
#include <string_view>

#include "model/parameter_model.h"

namespace veltrane::fuzz {

// Every indexed value inside the range the image decode clamps it to.
inline bool ModelInClamps(const ParameterModel& model) {
  for (const ChannelParams& ch : model.channels) {
    if (ch.gain > 240 || ch.hp_freq > 240 || ch.lp_freq > 240 || ch.hp_type > 11 ||
        ch.lp_type > 11) {
      return false;
    }
  }
  for (const BandParams& band : model.bands) {
    if (band.freq > 240 || band.type > 2 || band.peak_gain > 180 || band.shelf_gain > 180 ||
        band.q > 179) {
      return false;
    }
  }
  return true;
}

// What the links make of received bytes: two upper-case hex digits per byte.
inline bool IsReceivedHexText(std::string_view text) {
  if (text.size() % 2 != 0) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

}  // namespace veltrane::fuzz
