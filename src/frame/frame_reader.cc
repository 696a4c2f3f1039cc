#include "frame/frame_reader.h"

#include <algorithm>

namespace veltrane {

Frame ReadFrame(std::span<const std::uint8_t> bytes) {
  Frame frame;
  frame.device = bytes[3];
  frame.command = bytes[4];
  frame.bank = bytes[5];
  frame.object = bytes[6];
  frame.index = bytes[7];
  frame.data = bytes.subspan(kFrameHeaderLength, bytes.size() - kFrameOverhead);
  frame.bytes = bytes;
  return frame;
}

std::size_t LengthField(std::span<const std::uint8_t> header) {
  return static_cast<std::size_t>(header[8]) * 256 + header[9];
}

bool StartsWithMarker(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 3 && bytes[0] == kStartByte && bytes[1] == kStartByte &&
         bytes[2] == kStartByte;
}

bool FrameIsSound(std::span<const std::uint8_t> frame) {
  return frame.size() >= kFrameOverhead && frame.back() == kEndByte &&
         frame[frame.size() - 2] == FrameChecksum(frame, frame.size() - 3);
}

bool HeaderFits(std::span<const std::uint8_t> header, const FrameRules& rules) {
  return (header[4] == rules.commands[0] || header[4] == rules.commands[1]) &&
         LengthField(header) <= rules.max_data_length;
}

FrameReader::FrameReader(FrameRules rules, Handler on_frame)
    : rules_(rules), on_frame_(std::move(on_frame)) {
  buffer_.reserve(2 * (kFrameOverhead + rules_.max_data_length));
  arrivals_.reserve(16);
}

void FrameReader::Feed(std::span<const std::uint8_t> bytes, std::int64_t now_ms) {
  if (!bytes.empty()) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    arrivals_.push_back({buffer_.size(), now_ms});
  }
  if (in_handler_) return;  // the scan that runs the handler goes on with them
  Scan(now_ms);
  Compact();
}

void FrameReader::Reset() {
  // Inside the handler the buffer still holds the frame being handled: only skip.
  head_ = buffer_.size();
  if (!in_handler_) Compact();
}

void FrameReader::Scan(std::int64_t now_ms) {
  while (head_ < buffer_.size()) {
    const std::span<const std::uint8_t> rest = std::span(buffer_).subspan(head_);
    if (!StartsWithMarker(rest)) {
      Resync(head_);
      if (buffer_.size() - head_ < 3) return;  // at most a partial marker is left
      continue;
    }
    const bool header_in = rest.size() >= kFrameHeaderLength;
    if (header_in && !HeaderFits(rest, rules_)) {
      Resync(head_ + 1);
      continue;
    }
    const std::size_t total = header_in ? kFrameOverhead + LengthField(rest) : kFrameHeaderLength;
    if (rest.size() < total) {
      if (now_ms - ArrivalOf(head_) <= IncompleteFrameTimeoutMs(total)) return;
      // Given up. What arrived meanwhile may hold frames of its own: look again from the
      // byte after its start.
      ++bad_frames_;
      Resync(head_ + 1);
      continue;
    }
    if (!FrameIsSound(rest.first(total))) {
      // Perhaps the marker was noise and a real frame starts inside: look again from the
      // next byte rather than throwing the whole length away.
      ++bad_frames_;
      Resync(head_ + 1);
      continue;
    }
    const std::size_t first = head_;
    head_ += total;
    in_handler_ = true;
    on_frame_(ReadFrame(std::span(buffer_).subspan(first, total)));
    in_handler_ = false;
  }
}

void FrameReader::Resync(std::size_t from) {
  std::size_t next = buffer_.size();
  for (std::size_t i = from; i < buffer_.size(); ++i) {
    // A start marker, or as much of one as has arrived.
    const std::size_t n = std::min<std::size_t>(3, buffer_.size() - i);
    if (std::all_of(buffer_.begin() + static_cast<std::ptrdiff_t>(i),
                    buffer_.begin() + static_cast<std::ptrdiff_t>(i + n),
                    [](std::uint8_t b) { return b == kStartByte; })) {
      next = i;
      break;
    }
  }
  skipped_bytes_ += next - head_;
  head_ = next;
}

std::int64_t FrameReader::ArrivalOf(std::size_t offset) const {
  for (const Arrival& arrival : arrivals_) {
    if (arrival.end > offset) return arrival.ms;
  }
  return arrivals_.empty() ? 0 : arrivals_.back().ms;
}

void FrameReader::Compact() {
  if (head_ == 0) return;
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(head_));
  std::size_t gone = 0;
  for (Arrival& arrival : arrivals_) {
    if (arrival.end <= head_) {
      ++gone;
    } else {
      arrival.end -= head_;
    }
  }
  arrivals_.erase(arrivals_.begin(), arrivals_.begin() + static_cast<std::ptrdiff_t>(gone));
  head_ = 0;
}

}  // namespace veltrane
