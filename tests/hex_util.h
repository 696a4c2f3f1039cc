#pragma once

// Frames in tests are written as spaced hex, "A5 A5 A5 00 A2 ...".

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "frame/frame_codec.h"

namespace veltrane::test {

inline std::vector<std::uint8_t> Hex(std::string_view spaced) {
  std::vector<std::uint8_t> out;
  int hi = -1;
  for (char c : spaced) {
    const int v = HexDigitValue(c);
    if (v < 0) continue;
    if (hi < 0) {
      hi = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(hi * 16 + v));
      hi = -1;
    }
  }
  return out;
}

// The frame with its checksum worked out: an image text as a file holds it has none, a
// reply needs one.
inline std::vector<std::uint8_t> Sealed(std::vector<std::uint8_t> frame) {
  frame[frame.size() - 2] = FrameChecksum(frame, frame.size() - 3);
  return frame;
}

inline std::string Spaced(std::span<const std::uint8_t> bytes) {
  std::string text = EncodeHex(bytes);
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    if (!out.empty()) out += ' ';
    out += text.substr(i, 2);
  }
  return out;
}

}  // namespace veltrane::test
