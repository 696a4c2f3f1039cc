#include "frame/hid_reports.h"

#include <algorithm>

#include "frame/frame_codec.h"
#include "frame/frame_reader.h"

namespace veltrane {

HidReport OutputReport(std::span<const std::uint8_t> frame, std::size_t n) {
  HidReport report{};
  const std::size_t first = std::min(frame.size(), n * kHidDataSize);
  const std::size_t count = std::min(kHidDataSize, frame.size() - first);
  std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(first), count, report.begin() + 1);
  return report;
}

std::span<const std::uint8_t> HidReplyAssembler::Add(std::span<const std::uint8_t> report) {
  report = report.first(std::min(report.size(), kHidDataSize));
  if (!collecting_) {
    // A header no processor sends would take the reports after it, replies among them, as
    // its data.
    if (report.size() < kFrameHeaderLength || !StartsWithMarker(report) ||
        !HeaderFits(report, kProcessorFrames)) {
      return {};
    }
    frame_.assign(report.begin(), report.begin() + kFrameHeaderLength);
    length_ = LengthField(report);
    data_reports_ = 0;
    collecting_ = true;
    return {};  // the frame's data come in the following reports only
  }
  ++data_reports_;
  if (data_reports_ <= length_ / kHidDataSize) {
    frame_.insert(frame_.end(), report.begin(), report.end());
    return {};
  }
  // Last report: remaining data bytes, checksum and AA. A length whose remainder leaves no
  // room for them takes what the report holds.
  const std::size_t tail = std::min(length_ % kHidDataSize + 2, report.size());
  frame_.insert(frame_.end(), report.begin(), report.begin() + static_cast<std::ptrdiff_t>(tail));
  collecting_ = false;
  return frame_;
}

}  // namespace veltrane
