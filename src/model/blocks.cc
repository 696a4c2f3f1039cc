#include "model/blocks.h"

namespace veltrane {
namespace {

// First slot of each channel's channel/crossover(/limiter) blocks, and of its EQ blocks.
constexpr std::array<int, kChannelCount> kFirstSlot = {1, 3, 5, 8, 11, 14};
constexpr int kFirstEqSlot = 17;
// Image record of each channel's block 0.
constexpr std::array<int, kChannelCount> kRecordBase = {0, 10, 20, 31, 42, 53};

}  // namespace

BlockKind KindOfBlock(int channel, int block) {
  if (block == kChannelBlock) return BlockKind::kChannel;
  if (block == kCrossoverBlock) return BlockKind::kCrossover;
  if (block == kLimiterBlock && IsOutput(channel)) return BlockKind::kLimiter;
  return BlockKind::kEqBand;
}

int SlotOfBlock(int channel, int block) {
  if (block < FirstEqBlock(channel)) return kFirstSlot[channel] + block;
  return kFirstEqSlot + BandId(channel, block - FirstEqBlock(channel));
}

BlockAddress BlockOfSlot(int slot) {
  if (slot >= kFirstEqSlot) {
    const int band_id = slot - kFirstEqSlot;
    return {ChannelOfBand(band_id), EqBandBlockNumber(band_id)};
  }
  int channel = kChannelCount - 1;
  while (kFirstSlot[channel] > slot) --channel;
  return {channel, slot - kFirstSlot[channel]};
}

int ImageRecordOfBlock(int channel, int block) { return kRecordBase[channel] + block; }

BlockAddress BlockOfImageRecord(int record) {
  int channel = kChannelCount - 1;
  while (kRecordBase[channel] > record) --channel;
  return {channel, record - kRecordBase[channel]};
}

BlockBytes EncodeBlock(const ParameterModel& model, int channel, int block) {
  BlockBytes b{};
  const ChannelParams& ch = model.channels[channel];
  switch (KindOfBlock(channel, block)) {
    case BlockKind::kChannel:
      b[0] = ch.mute;
      b[1] = ch.polarity;
      b[2] = ch.gain;
      b[3] = IsOutput(channel) ? model.Output(channel).route : 0;
      b[4] = static_cast<std::uint8_t>(ch.delay & 0xFF);
      b[5] = static_cast<std::uint8_t>(ch.delay >> 8);
      b[6] = ch.eq_bypass;
      break;
    case BlockKind::kCrossover:
      b[0] = ch.hp_freq;
      b[1] = ch.hp_type;
      b[2] = ch.lp_freq;
      b[3] = ch.lp_type;
      break;
    case BlockKind::kLimiter: {
      const OutputParams& out = model.Output(channel);
      b[0] = out.limiter_threshold;
      b[1] = out.limiter_attack;
      b[2] = out.limiter_release;
      b[3] = out.limiter_ratio;
      break;
    }
    case BlockKind::kEqBand: {
      const BandParams& band = model.bands[BandId(channel, block - FirstEqBlock(channel))];
      b[0] = band.freq;
      b[1] = band.type;
      b[2] = static_cast<std::uint8_t>(band.peak_gain & 0xFF);
      b[3] = static_cast<std::uint8_t>(band.peak_gain >> 8);
      b[4] = static_cast<std::uint8_t>(band.shelf_gain & 0xFF);
      b[5] = static_cast<std::uint8_t>(band.shelf_gain >> 8);
      b[6] = band.q;
      break;
    }
  }
  return b;
}

WriteFrame BuildBlockFrame(const ParameterModel& model, std::uint8_t device_id, int channel,
                           int block) {
  return BuildWriteFrame(device_id, static_cast<std::uint8_t>(channel),
                         static_cast<std::uint8_t>(block), EncodeBlock(model, channel, block));
}

namespace {

void SendBlock(const ParameterModel& model, int channel, int block, SlotSink& sink) {
  if (!sink.AcceptsFrames()) return;
  sink.QueueSlotFrame(SlotOfBlock(channel, block),
                      BuildBlockFrame(model, sink.DeviceId(), channel, block));
}

}  // namespace

void SendChannelBlock(const ParameterModel& model, int channel, SlotSink& sink) {
  SendBlock(model, channel, kChannelBlock, sink);
}

void SendCrossoverBlock(const ParameterModel& model, int channel, SlotSink& sink) {
  SendBlock(model, channel, kCrossoverBlock, sink);
}

void SendLimiterBlock(const ParameterModel& model, int channel, SlotSink& sink) {
  if (!IsOutput(channel)) return;
  SendBlock(model, channel, kLimiterBlock, sink);
}

void SendEqBandBlock(const ParameterModel& model, int band_id, SlotSink& sink) {
  SendBlock(model, ChannelOfBand(band_id), EqBandBlockNumber(band_id), sink);
}

}  // namespace veltrane
