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
  buffer_.erase(buffer_.begin(), buffer_.begin() + keep);
}

void SerialFrameReader::Feed(std::span<const std::uint8_t> bytes, std::int64_t now_ms) {
  if (!buffer_.empty() && now_ms - last_arrival_ms_ > kIncompleteFrameTimeoutMs) {
    // Whatever waited through the silence belongs to a transfer that broke off.
    ++bad_frames_;
    skipped_bytes_ += buffer_.size();
    buffer_.clear();
  }
  last_arrival_ms_ = now_ms;
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());

  while (!buffer_.empty()) {
    if (!StartsWithMarker(buffer_)) {
      Resync(0);
      if (buffer_.size() < 3) return;  // at most a partial marker is left
      continue;
    }
    if (buffer_.size() < kHeaderLength) return;
    if (!HeaderIsPlausible(buffer_)) {
      Resync(1);
      continue;
    }
    const std::size_t total = kFrameOverhead + DataLength(buffer_);
    if (buffer_.size() < total) return;
    if (!FrameIsSound(std::span(buffer_).first(total))) {
      // Perhaps the marker was noise and a real frame starts inside: look again from the
      // next byte rather than throwing the whole length away.
      ++bad_frames_;
      Resync(1);
      continue;
    }
    const std::vector<std::uint8_t> frame(buffer_.begin(), buffer_.begin() + total);
    buffer_.erase(buffer_.begin(), buffer_.begin() + total);
    on_frame_(frame);
  }
}

void HidFrameReader::Feed(std::span<const std::uint8_t, kHidDataSize> data, std::int64_t now_ms) {
  if (missing_ != 0 && now_ms - last_report_ms_ > kIncompleteFrameTimeoutMs) {
    ++bad_frames_;
    missing_ = 0;
    frame_.clear();
  }
  last_report_ms_ = now_ms;

  if (missing_ != 0) {
    const std::size_t take = std::min(missing_, kHidDataSize);
    frame_.insert(frame_.end(), data.begin(), data.begin() + take);
    missing_ -= take;
    if (missing_ == 0) {
      const std::vector<std::uint8_t> frame = std::move(frame_);
      frame_.clear();
      Finish(frame);
    }
    return;
  }

  if (!StartsWithMarker(data) || !HeaderIsPlausible(data)) {
    ++skipped_reports_;
    return;
  }
  const std::size_t total = kFrameOverhead + DataLength(data);
  if (total <= kHidDataSize) {
    Finish(data.first(total));
    return;
  }
  // The rest of this report is not part of the frame: its data follow in later reports.
  frame_.assign(data.begin(), data.begin() + kHeaderLength);
  missing_ = total - kHeaderLength;
}

void HidFrameReader::Finish(std::span<const std::uint8_t> frame) {
  if (FrameIsSound(frame)) {
    on_frame_(frame);
  } else {
    ++bad_frames_;
  }
}

}  // namespace veltrane
