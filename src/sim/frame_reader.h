#pragma once

// Frames the editor sends, taken from a serial byte stream or from HID output reports.
// Only complete frames with a plausible header, the right checksum and the end byte reach
// the handler: a processor must not act on a write that the line mangled.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "protocol/frame_codec.h"
#include "protocol/link.h"

namespace veltrane {

// The longest frame the editor sends is a long write of one image.
inline constexpr std::size_t kMaxIncomingDataLength = kImageDataLength;
// A frame is given up when it is still incomplete this long after its first byte, so a
// transfer broken off mid-way (a failed HID report, a header whose block never came, a
// plausible header in noise) cannot swallow the frames that follow it, however steadily
// they keep coming. It gets what its length takes at 9600 baud (a long write: about
// 0.6 s) plus a margin for the editor's pause of up to 100 ms between a long write's
// header and its block and for a busy sender.
inline constexpr std::int64_t kIncompleteFrameMarginMs = 500;
constexpr std::int64_t IncompleteFrameTimeoutMs(std::size_t frame_length) {
  return (static_cast<std::int64_t>(frame_length) * 10 * 1000 + 9599) / 9600 +
         kIncompleteFrameMarginMs;
}

using FrameHandler = std::function<void(std::span<const std::uint8_t> frame)>;

// True when the checksum and end byte of a complete frame are right.
bool FrameIsSound(std::span<const std::uint8_t> frame);

class SerialFrameReader {
 public:
  explicit SerialFrameReader(FrameHandler on_frame) : on_frame_(std::move(on_frame)) {}

  void Feed(std::span<const std::uint8_t> bytes, std::int64_t now_ms);

  int bad_frames() const { return bad_frames_; }
  std::size_t skipped_bytes() const { return skipped_bytes_; }

 private:
  // Drops bytes up to the next start marker (or a prefix of one at the end).
  void Resync(std::size_t from);
  void Drop(std::size_t count);

  FrameHandler on_frame_;
  std::vector<std::uint8_t> buffer_;
  std::vector<std::int64_t> arrival_ms_;  // of each byte in buffer_
  int bad_frames_ = 0;
  std::size_t skipped_bytes_ = 0;
};

// Output reports after their report ID: a frame of up to 64 bytes fills one report; a
// longer one (a long write) sends its ten header bytes alone and its remaining bytes in
// the following reports, 64 per report.
class HidFrameReader {
 public:
  explicit HidFrameReader(FrameHandler on_frame) : on_frame_(std::move(on_frame)) {}

  void Feed(std::span<const std::uint8_t, kHidDataSize> data, std::int64_t now_ms);

  int bad_frames() const { return bad_frames_; }
  int skipped_reports() const { return skipped_reports_; }

 private:
  struct Report {
    std::array<std::uint8_t, kHidDataSize> data;
    std::int64_t arrival_ms;
  };

  void Finish(std::span<const std::uint8_t> frame);

  FrameHandler on_frame_;
  // The long frame being collected: its header report, then the reports taken as its data.
  std::vector<Report> pending_;
  int bad_frames_ = 0;
  int skipped_reports_ = 0;
};

}  // namespace veltrane
