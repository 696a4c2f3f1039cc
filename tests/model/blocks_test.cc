#include "model/blocks.h"

#include <gtest/gtest.h>

#include <map>

#include "hex_util.h"

namespace veltrane {
namespace {

using test::Spaced;

// Records what the builders queue.
class RecordingSink : public SlotSink {
 public:
  bool AcceptsFrames() const override { return connected; }
  std::uint8_t DeviceId() const override { return device_id; }
  void QueueSlotFrame(int slot, const WriteFrame& frame) override {
    frames[slot] = frame;
    ++queued;
  }

  bool connected = true;
  std::uint8_t device_id = 1;
  std::map<int, WriteFrame> frames;
  int queued = 0;
};

TEST(Blocks, SlotCatalogueRoundTrips) {
  const struct {
    int slot, channel, block;
  } anchors[] = {{1, 0, 0},  {2, 0, 1},  {3, 1, 0},   {4, 1, 1},  {5, 2, 0},  {7, 2, 2},
                 {8, 3, 0},  {13, 4, 2}, {16, 5, 2},  {17, 0, 2}, {24, 0, 9}, {25, 1, 2},
                 {33, 2, 3}, {34, 2, 4}, {40, 2, 10}, {41, 3, 3}, {64, 5, 10}};
  for (const auto& a : anchors) {
    EXPECT_EQ(SlotOfBlock(a.channel, a.block), a.slot) << a.slot;
    EXPECT_EQ(BlockOfSlot(a.slot), (BlockAddress{a.channel, a.block})) << a.slot;
  }
  // Every block has its own slot and every slot 1..64 its block.
  std::map<int, int> seen;
  for (int c = 0; c < kChannelCount; ++c) {
    for (int b = 0; b < BlockCount(c); ++b) {
      const int slot = SlotOfBlock(c, b);
      EXPECT_EQ(BlockOfSlot(slot), (BlockAddress{c, b}));
      ++seen[slot];
    }
  }
  EXPECT_EQ(seen.size(), 64u);
  EXPECT_EQ(seen.begin()->first, 1);
  EXPECT_EQ(seen.rbegin()->first, 64);
}

TEST(Blocks, ImageRecordsRoundTrip) {
  EXPECT_EQ(ImageRecordOfBlock(0, 0), 0);
  EXPECT_EQ(ImageRecordOfBlock(1, 0), 10);
  EXPECT_EQ(ImageRecordOfBlock(2, 2), 22);
  EXPECT_EQ(ImageRecordOfBlock(5, 10), 63);
  for (int r = 0; r < 64; ++r) {
    const BlockAddress a = BlockOfImageRecord(r);
    EXPECT_EQ(ImageRecordOfBlock(a.channel, a.block), r);
  }
}

TEST(Blocks, WorkedFrames) {
  ParameterModel model;
  RecordingSink sink;
  SendChannelBlock(model, kInA, sink);
  SendEqBandBlock(model, 17, sink);
  EXPECT_EQ(Spaced(sink.frames.at(1)),
            "A5 A5 A5 01 A1 00 00 00 00 08 00 00 78 00 00 00 00 00 D0 AA");
  EXPECT_EQ(Spaced(sink.frames.at(34)),
            "A5 A5 A5 01 A1 00 02 04 00 08 21 00 78 00 78 00 04 00 8B AA");
}

TEST(Blocks, Layouts) {
  ParameterModel model;
  model.channels[kOut3].delay = 500;
  model.channels[kOut3].mute = 1;
  model.channels[kOut3].gain = 77;
  model.channels[kOut3].eq_bypass = 1;
  model.Output(kOut3).route = 3;
  EXPECT_EQ(EncodeBlock(model, kOut3, 0), (BlockBytes{1, 0, 77, 0x03, 0xF4, 0x01, 1, 0}));

  // Inputs carry no route even if the field were set elsewhere.
  model.channels[kInB].polarity = 1;
  EXPECT_EQ(EncodeBlock(model, kInB, 0)[3], 0);

  BandParams& band = model.bands[BandId(kOut2, 5)];
  band.type = kLowShelf;
  band.peak_gain = 100;
  band.shelf_gain = 150;
  band.freq = 200;
  band.q = 179;
  EXPECT_EQ(EncodeBlock(model, kOut2, 8), (BlockBytes{200, 1, 0x64, 0, 0x96, 0, 179, 0}));

  model.Output(kOut1).limiter_threshold = 60;
  model.Output(kOut1).limiter_attack = 106;
  model.Output(kOut1).limiter_release = 5;
  model.Output(kOut1).limiter_ratio = 8;
  EXPECT_EQ(EncodeBlock(model, kOut1, 2), (BlockBytes{60, 106, 5, 8, 0, 0, 0, 0}));

  model.channels[kInA].hp_freq = 10;
  model.channels[kInA].hp_type = 11;
  model.channels[kInA].lp_freq = 200;
  model.channels[kInA].lp_type = 4;
  EXPECT_EQ(EncodeBlock(model, kInA, 1), (BlockBytes{10, 11, 200, 4, 0, 0, 0, 0}));
}

TEST(Blocks, NothingIsBuiltWithoutConnection) {
  ParameterModel model;
  RecordingSink sink;
  sink.connected = false;
  SendChannelBlock(model, kOut1, sink);
  SendCrossoverBlock(model, kOut1, sink);
  SendLimiterBlock(model, kOut1, sink);
  SendCurrentEqBand(model, 20, sink);
  EXPECT_EQ(sink.queued, 0);
  sink.connected = true;
  SendLimiterBlock(model, kInA, sink);  // inputs have no limiter
  EXPECT_EQ(sink.queued, 0);
  SendCurrentEqBand(model, 20, sink);
  EXPECT_EQ(sink.frames.count(17 + 20), 1u);
  EXPECT_EQ(sink.frames.at(37)[7], 7);  // Out 1 band 4 is block 7
}

}  // namespace
}  // namespace veltrane
