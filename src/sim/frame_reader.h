#pragma once

// Frames the editor sends, taken from a serial byte stream or from HID output reports.
// Only complete frames with a plausible header, the right checksum and the end byte reach
// the handler: a processor must not act on a write that the line mangled.

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
// A frame still incomplete after this much silence is abandoned, so a transfer broken
// mid-way (a failed HID report, a header whose block never came) cannot swallow the
// frames that follow it. The editor's longest pause inside one frame is 100 ms.
inline constexpr std::int64_t kIncompleteFrameTimeoutMs = 1000;

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

  FrameHandler on_frame_;
  std::vector<std::uint8_t> buffer_;
  std::int64_t last_arrival_ms_ = 0;
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
  void Finish(std::span<const std::uint8_t> frame);

  FrameHandler on_frame_;
  std::vector<std::uint8_t> frame_;  // the long frame being collected
  std::size_t missing_ = 0;          // bytes still to come; 0 when idle
  std::int64_t last_report_ms_ = 0;
  int bad_frames_ = 0;
  int skipped_reports_ = 0;
};

}  // namespace veltrane
