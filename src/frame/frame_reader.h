#pragma once

// Bytes in, checked frames out. The reader finds the start marker (dropping whatever came
// before it), waits for the length the header announces, and hands over only frames
// whose checksum and end byte are right. A frame that stops half-way is given up after
// a time-out, so it cannot swallow the frames that follow it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "frame/frame_codec.h"

namespace veltrane {

inline constexpr std::size_t kFrameHeaderLength = 10;

// One checked frame. Its spans point into the reader's buffer: valid only during the
// call that hands the frame over.
struct Frame {
  std::uint8_t device = 0;
  std::uint8_t command = 0;
  std::uint8_t bank = 0;
  std::uint8_t object = 0;
  std::uint8_t index = 0;
  std::span<const std::uint8_t> data;
  std::span<const std::uint8_t> bytes;  // the whole frame, start marker to end byte
};

// The fields of a whole frame; the caller has checked it.
Frame ReadFrame(std::span<const std::uint8_t> bytes);
// Data length from the Length field of a header (at least kFrameHeaderLength bytes).
std::size_t LengthField(std::span<const std::uint8_t> header);
bool StartsWithMarker(std::span<const std::uint8_t> bytes);
// True when the checksum and end byte of a complete frame are right.
bool FrameIsSound(std::span<const std::uint8_t> frame);

// What one side takes from its peer: the two commands the peer sends and the longest data
// section it sends. A header outside them is line noise that happens to hold A5 A5 A5.
struct FrameRules {
  std::array<std::uint8_t, 2> commands{};
  std::size_t max_data_length = 0;
};
bool HeaderFits(std::span<const std::uint8_t> header, const FrameRules& rules);

// What the editor sends (the simulator reads it): writes and requests up to a long write.
inline constexpr FrameRules kEditorFrames{{kCmdWrite, kCmdRequest}, kImageDataLength};
// What the processor answers (the editor reads it): acknowledges and data up to an image.
inline constexpr FrameRules kProcessorFrames{{kCmdAck, kCmdData}, kImageDataLength};

// An incomplete frame gets what its length takes at 9600 baud (an image: about 0.6 s)
// plus a margin for a sender's pause (the editor waits up to 100 ms between a long
// write's header and its block) and for a busy sender.
inline constexpr std::int64_t kIncompleteFrameMarginMs = 500;
constexpr std::int64_t IncompleteFrameTimeoutMs(std::size_t frame_length) {
  return (static_cast<std::int64_t>(frame_length) * 10 * 1000 + 9599) / 9600 +
         kIncompleteFrameMarginMs;
}

class FrameReader {
 public:
  using Handler = std::function<void(const Frame& frame)>;

  FrameReader(FrameRules rules, Handler on_frame);

  // The handler runs for every frame completed, in order. It may call Reset (what
  // follows the frame is dropped) and Feed (the bytes queue behind the current ones).
  void Feed(std::span<const std::uint8_t> bytes, std::int64_t now_ms);
  // Drops everything that has not made a frame yet.
  void Reset();
  // Nothing is waiting to make a frame.
  bool Empty() const { return head_ == buffer_.size(); }

  int bad_frames() const { return bad_frames_; }
  std::size_t skipped_bytes() const { return skipped_bytes_; }

 private:
  struct Arrival {
    std::size_t end;  // buffer offset just past the bytes of one Feed
    std::int64_t ms;
  };

  void Scan(std::int64_t now_ms);
  // Moves the head to the next start marker at or after `from` (or a marker's beginning
  // at the end of the buffer), counting the bytes passed over.
  void Resync(std::size_t from);
  std::int64_t ArrivalOf(std::size_t offset) const;
  void Compact();

  FrameRules rules_;
  Handler on_frame_;
  std::vector<std::uint8_t> buffer_;
  std::vector<Arrival> arrivals_;
  std::size_t head_ = 0;  // first byte not yet taken
  bool in_handler_ = false;
  int bad_frames_ = 0;
  std::size_t skipped_bytes_ = 0;
};

}  // namespace veltrane
