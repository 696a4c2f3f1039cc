#include "sim/frame_reader.h"

#include <algorithm>

namespace veltrane {
namespace {

constexpr std::size_t kHeaderLength = 10;

bool StartsWithMarker(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 3 && bytes[0] == kStartByte && bytes[1] == kStartByte &&
         bytes[2] == kStartByte;
}

std::size_t DataLength(std::span<const std::uint8_t> header) {
  return static_cast<std::size_t>(header[8]) * 256 + header[9];
}

// Only the editor's own commands, and no longer than a long write: anything else is line
// noise that happens to contain A5 A5 A5.
bool HeaderIsPlausible(std::span<const std::uint8_t> header) {
  return (header[4] == kCmdWrite || header[4] == kCmdRequest) &&
         DataLength(header) <= kMaxIncomingDataLength;
}

}  // namespace

bool FrameIsSound(std::span<const std::uint8_t> frame) {
  return frame.size() >= kFrameOverhead && frame.back() == kEndByte &&
         frame[frame.size() - 2] == FrameChecksum(frame, frame.size() - 3);
}

void SerialFrameReader::Drop(std::size_t count) {
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(count));
  arrival_ms_.erase(arrival_ms_.begin(), arrival_ms_.begin() + static_cast<std::ptrdiff_t>(count));
}

void SerialFrameReader::Resync(std::size_t from) {
  std::size_t keep = buffer_.size();
  for (std::size_t i = from; i < buffer_.size(); ++i) {
    // A start marker, or as much of one as has arrived.
    const std::size_t n = std::min<std::size_t>(3, buffer_.size() - i);
    if (std::all_of(buffer_.begin() + i, buffer_.begin() + i + n,
                    [](std::uint8_t b) { return b == kStartByte; })) {
      keep = i;
      break;
    }
  }
  skipped_bytes_ += keep;
  Drop(keep);
}

void SerialFrameReader::Feed(std::span<const std::uint8_t> bytes, std::int64_t now_ms) {
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  arrival_ms_.insert(arrival_ms_.end(), bytes.size(), now_ms);

  while (!buffer_.empty()) {
    if (!StartsWithMarker(buffer_)) {
      Resync(0);
      if (buffer_.size() < 3) return;  // at most a partial marker is left
      continue;
    }
    const bool header_in = buffer_.size() >= kHeaderLength;
    if (header_in && !HeaderIsPlausible(buffer_)) {
      Resync(1);
      continue;
    }
    const std::size_t total = header_in ? kFrameOverhead + DataLength(buffer_) : kHeaderLength;
    if (buffer_.size() < total) {
      if (now_ms - arrival_ms_.front() <= IncompleteFrameTimeoutMs(total)) return;
      // Given up. What arrived meanwhile may hold frames of its own: look again from the
      // byte after its start.
      ++bad_frames_;
      Resync(1);
      continue;
    }
    if (!FrameIsSound(std::span(buffer_).first(total))) {
      // Perhaps the marker was noise and a real frame starts inside: look again from the
      // next byte rather than throwing the whole length away.
      ++bad_frames_;
      Resync(1);
      continue;
    }
    const std::vector<std::uint8_t> frame(buffer_.begin(), buffer_.begin() + total);
    Drop(total);
    on_frame_(frame);
  }
}

void HidFrameReader::Feed(std::span<const std::uint8_t, kHidDataSize> data, std::int64_t now_ms) {
  Report report{{}, now_ms};
  std::copy(data.begin(), data.end(), report.data.begin());
  pending_.push_back(report);

  while (!pending_.empty()) {
    const Report head = pending_.front();
    if (!StartsWithMarker(head.data) || !HeaderIsPlausible(head.data)) {
      ++skipped_reports_;
      pending_.erase(pending_.begin());
      continue;
    }
    const std::size_t total = kFrameOverhead + DataLength(head.data);
    if (total <= kHidDataSize) {
      pending_.erase(pending_.begin());
      Finish(std::span(head.data).first(total));
      continue;
    }
    // The rest of the header report is not part of the frame: its data follow in later
    // reports, 64 bytes each.
    const std::size_t data_reports = (total - kHeaderLength + kHidDataSize - 1) / kHidDataSize;
    if (pending_.size() <= data_reports) {
      if (now_ms - head.arrival_ms <= IncompleteFrameTimeoutMs(total)) return;
      // Given up. The reports taken as its data may be frames of their own: look at them
      // again.
      ++bad_frames_;
      pending_.erase(pending_.begin());
      continue;
    }
    std::vector<std::uint8_t> frame(head.data.begin(), head.data.begin() + kHeaderLength);
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
