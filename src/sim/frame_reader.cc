#include "sim/frame_reader.h"

#include <algorithm>

namespace veltrane {

void HidFrameReader::Feed(std::span<const std::uint8_t, kHidDataSize> data, std::int64_t now_ms) {
  Report report{{}, now_ms};
  std::copy(data.begin(), data.end(), report.data.begin());
  pending_.push_back(report);

  while (!pending_.empty()) {
    const Report head = pending_.front();
    if (!StartsWithMarker(head.data) || !HeaderFits(head.data, kEditorFrames)) {
      ++skipped_reports_;
      pending_.erase(pending_.begin());
      continue;
    }
    const std::size_t total = kFrameOverhead + LengthField(head.data);
    if (total <= kHidDataSize) {
      pending_.erase(pending_.begin());
      Finish(std::span(head.data).first(total));
      continue;
    }
    // The rest of the header report is not part of the frame: its data follow in later
    // reports, 64 bytes each.
    const std::size_t data_reports = (total - kFrameHeaderLength + kHidDataSize - 1) / kHidDataSize;
    if (pending_.size() <= data_reports) {
      if (now_ms - head.arrival_ms <= IncompleteFrameTimeoutMs(total)) return;
      // Given up. The reports taken as its data may be frames of their own: look at them
      // again.
      ++bad_frames_;
      pending_.erase(pending_.begin());
      continue;
    }
    std::vector<std::uint8_t> frame(head.data.begin(), head.data.begin() + kFrameHeaderLength);
    for (std::size_t i = 1; i <= data_reports; ++i) {
      const std::size_t take = std::min(total - frame.size(), kHidDataSize);
      frame.insert(frame.end(), pending_[i].data.begin(), pending_[i].data.begin() + take);
    }
    pending_.erase(pending_.begin(),
                   pending_.begin() + 1 + static_cast<std::ptrdiff_t>(data_reports));
    Finish(frame);
  }
}

void HidFrameReader::Finish(std::span<const std::uint8_t> frame) {
  if (FrameIsSound(frame)) {
    on_frame_(frame);
  } else {
    ++bad_frames_;
  }
}

}  // namespace veltrane
