#pragma once

// Frames the editor sends over HID, taken from its output reports (a serial byte stream
// goes through the shared FrameReader). Only complete frames with a plausible header, the
// right checksum and the end byte reach the handler: a processor must not act on a write
// that the link mangled.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "frame/frame_codec.h"
#include "frame/frame_reader.h"
#include "frame/hid_reports.h"

namespace veltrane {

// The longest frame the editor sends is a long write of one image.
inline constexpr std::size_t kMaxIncomingDataLength = kEditorFrames.max_data_length;

using FrameHandler = std::function<void(std::span<const std::uint8_t> frame)>;

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
