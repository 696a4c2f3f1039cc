#pragma once

// The 64 eight-byte parameter blocks: numbering within a channel, the send slot of each
// block, their byte layouts, and the builders that turn a block into its write frame.

#include <array>
#include <cstdint>

#include "frame/frame_codec.h"
#include "model/parameter_model.h"

namespace veltrane {

using BlockBytes = std::array<std::uint8_t, 8>;

enum class BlockKind { kChannel, kCrossover, kLimiter, kEqBand };

inline constexpr int kChannelBlock = 0;
inline constexpr int kCrossoverBlock = 1;
inline constexpr int kLimiterBlock = 2;  // outputs only
inline constexpr int kParamSlotCount = 64;

// Inputs have blocks 0..9, outputs 0..10.
constexpr int BlockCount(int channel) { return IsOutput(channel) ? 11 : 10; }
// Block number of an EQ band: band + 2 on inputs, band + 3 on outputs.
constexpr int EqBandBlockNumber(int band_id) {
  return BandNumber(band_id) + (IsOutput(ChannelOfBand(band_id)) ? 3 : 2);
}
constexpr int FirstEqBlock(int channel) { return IsOutput(channel) ? 3 : 2; }

BlockKind KindOfBlock(int channel, int block);

// Send slot (1..64) of a channel's block, and back.
struct BlockAddress {
  int channel = 0;
  int block = 0;
  friend bool operator==(const BlockAddress&, const BlockAddress&) = default;
};
int SlotOfBlock(int channel, int block);
BlockAddress BlockOfSlot(int slot);

// Image record (0..63) of a channel's block: record = base(channel) + block.
int ImageRecordOfBlock(int channel, int block);
BlockAddress BlockOfImageRecord(int record);

// Block bytes from the model; 16-bit values little-endian.
BlockBytes EncodeBlock(const ParameterModel& model, int channel, int block);

// Where the builders put their frame. The send slot table implements it; while it
// refuses frames (no connection) nothing is built.
class SlotSink {
 public:
  virtual ~SlotSink() = default;
  virtual bool AcceptsFrames() const = 0;
  virtual std::uint8_t DeviceId() const = 0;
  virtual void QueueSlotFrame(int slot, const WriteFrame& frame) = 0;
};

// The write frame (A1, object = channel, index = block) of one block.
WriteFrame BuildBlockFrame(const ParameterModel& model, std::uint8_t device_id, int channel,
                           int block);

void SendChannelBlock(const ParameterModel& model, int channel, SlotSink& sink);
void SendCrossoverBlock(const ParameterModel& model, int channel, SlotSink& sink);
void SendLimiterBlock(const ParameterModel& model, int channel, SlotSink& sink);
void SendEqBandBlock(const ParameterModel& model, int band_id, SlotSink& sink);
// The band the EQ editors and the graph work on.
inline void SendCurrentEqBand(const ParameterModel& model, int selected_band, SlotSink& sink) {
  SendEqBandBlock(model, selected_band, sink);
}

}  // namespace veltrane
