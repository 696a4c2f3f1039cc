#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <string>

#include "hex_util.h"
#include "model/blocks.h"
#include "model/image_codec.h"
#include "sim_test_util.h"

namespace veltrane {
namespace {

using test::Hex;
using test::OutputReport;
using test::Spaced;

using SimulatorTest = test::SimFixture;

std::string Header(const Bytes& frame) { return Spaced(std::span(frame).first(10)); }

bool IsSoundFrame(const Bytes& frame) {
  return frame.size() >= kFrameOverhead && frame.back() == kEndByte &&
         frame[frame.size() - 2] == FrameChecksum(frame, frame.size() - 3);
}

// Distinct bytes everywhere, records 65..68 included; the panel unlocked.
SimImage Pattern(std::uint8_t seed) {
  SimImage data{};
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + seed);
  data[ProcessorState::kLockByte] = 0;
  return data;
}

std::array<std::uint8_t, 8> Password(std::string_view six) {
  std::array<std::uint8_t, 8> data{};
  std::copy(six.begin(), six.end(), data.begin());
  return data;
}

TEST_F(SimulatorTest, ShortAnswersAreExact) {
  struct Case {
    const char* what;
    Bytes request;
    bool long_poll;
    const char* reply;
  };
  const Case cases[] = {
      {"settings", Hex("A5 A5 A5 00 A2 00 21 00 00 08 00 00 00 00 00 00 00 00 8B AA"), false,
       "A5 A5 A5 00 52 00 21 00 00 08 01 00 00 01 00 00 00 00 7B AA"},
      {"poll", Hex("A5 A5 A5 00 A2 00 2B 00 00 00 89 AA"), false,
       "A5 A5 A5 00 52 00 2B 00 00 08 00 00 00 00 00 00 00 00 71 AA"},
      // Only the processor's own address is answered.
      {"poll to DeviceId 7", Hex("A5 A5 A5 07 A2 00 2B 00 00 00 8E AA"), false, ""},
      {"long poll", Hex("A5 A5 A5 00 A2 00 2B 00 00 00 89 AA"), true,
       "A5 A5 A5 00 52 00 2B 00 00 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
       "00 6D AA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim_->options().poll_answer_long = c.long_poll;
    Send(c.request);
    EXPECT_EQ(Spaced(TakeSerial()), c.reply);
  }
}

TEST_F(SimulatorTest, LiveImageIsTheEditorsDefaultModel) {
  Request(0, kObjImage);
  const Bytes reply = TakeSerial();
  ASSERT_EQ(reply.size(), kImageFrameLength);
  EXPECT_EQ(Header(reply), "A5 A5 A5 00 52 00 28 00 02 28");
  EXPECT_TRUE(IsSoundFrame(reply));
  // What an editor decodes from it is exactly its own default model.
  ParameterModel decoded;
  decoded.channels[0].gain = 1;
  ASSERT_TRUE(DecodeParameterImage(EncodeHex(reply), decoded));
  EXPECT_EQ(decoded, ParameterModel());
  // And the data bytes are those an editor without a link writes for it.
  EXPECT_EQ(EncodeHex(reply).substr(20, 2 * kImageDataLength),
            EncodeParameterImage(ParameterModel()).substr(20, 2 * kImageDataLength));
}

TEST_F(SimulatorTest, NamesAnswer) {
  Request(0, kObjPresetNames);
  Bytes reply = TakeSerial();
  ASSERT_EQ(reply.size(), 412u);
  EXPECT_EQ(Header(reply), "A5 A5 A5 00 52 00 26 00 01 90");
  EXPECT_EQ(Spaced(std::span(reply).last(2)), "E5 AA");  // fresh processor: all names empty

  Make({.demo_content = true});
  Request(0, kObjPresetNames);
  reply = TakeSerial();
  ASSERT_EQ(reply.size(), 412u);
  EXPECT_TRUE(IsSoundFrame(reply));
  for (int slot = 1; slot <= ProcessorState::kPresetCount; ++slot) {
    SCOPED_TRACE(slot);
    const auto field = std::span(reply).subspan(10 + 20 * (slot - 1), 20);
    const std::string name = sim_->PresetName(slot);
    ASSERT_FALSE(name.empty());
    ASSERT_LE(name.size(), ProcessorState::kPresetNameMax);
    EXPECT_EQ(std::string(field.begin(), field.begin() + name.size()), name);
    EXPECT_TRUE(std::all_of(field.begin() + name.size(), field.end(),
                            [](std::uint8_t b) { return b == 0; }));
  }
}

TEST_F(SimulatorTest, DemoContentDiffersFromDefaultAndBetweenSlots) {
  Make({.demo_content = true});
  const ParameterModel live = sim_->LiveModel();
  EXPECT_NE(live, ParameterModel());
  EXPECT_NE(live.channels[kOut1].hp_freq, ParameterModel().channels[kOut1].hp_freq);
  EXPECT_FALSE(live.panel_locked);
  EXPECT_NE(sim_->PresetImage(1), sim_->PresetImage(2));
}

TEST_F(SimulatorTest, ParameterWritesChangeTheLiveModel) {
  struct Case {
    const char* what;
    int channel;
    int block;
    void (*change)(ParameterModel&);
  };
  const Case cases[] = {
      {"In A channel", kInA, kChannelBlock,
       [](ParameterModel& m) {
         m.channels[kInA].gain = 200;
         m.channels[kInA].delay = 500;
         m.channels[kInA].mute = 1;
       }},
      {"Out 3 route", kOut3, kChannelBlock, [](ParameterModel& m) { m.Output(kOut3).route = 3; }},
      {"Out 1 crossover", kOut1, kCrossoverBlock,
       [](ParameterModel& m) {
         m.channels[kOut1].hp_freq = 160;
         m.channels[kOut1].lp_type = 11;
       }},
      {"Out 2 limiter", kOut2, kLimiterBlock,
       [](ParameterModel& m) {
         m.Output(kOut2).limiter_threshold = 60;
         m.Output(kOut2).limiter_ratio = 8;
       }},
      {"In B band 0", kInB, 2,
       [](ParameterModel& m) {
         m.bands[BandId(kInB, 0)] = {12, kHighShelf, 3, 170, 9};
       }},
      {"Out 4 band 7", kOut4, 10,
       [](ParameterModel& m) {
         m.bands[BandId(kOut4, 7)] = {240, kPeaking, 180, 0, 179};
       }},
  };
  ParameterModel expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.change(expected);
    Send(BuildBlockFrame(expected, 0, c.channel, c.block));
    EXPECT_EQ(sim_->LiveModel(), expected);
  }
  EXPECT_TRUE(serial_.empty()) << "parameter writes are not answered";
  EXPECT_EQ(sim_->Count(SimFrameKind::kParameterWrite), 6);

  // A block number the channel does not have changes nothing.
  const SimImage before = sim_->LiveImage();
  Send(BuildWriteFrame(0, kInA, 10, {1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(sim_->LiveImage(), before);
}

TEST_F(SimulatorTest, SerialLongWriteArrivesInTwoTransmissions) {
  SimImage image = Pattern(3);
  image[ProcessorState::kLockByte] = 1;  // an image cannot lock the panel
  const std::array<std::pair<std::uint8_t, std::uint8_t>, 2> targets = {
      {{0, kObjImage}, {4, kObjPresetImage}}};
  for (const auto& [bank, object_code] : targets) {
    SCOPED_TRACE(bank);
    Send(BuildLongWriteHeader(0, bank, object_code));
    clock_.Advance(100);
    Send(BuildLongWriteBlock(0, bank, object_code, image));
  }
  SimImage expected_live = image;
  expected_live[ProcessorState::kLockByte] = 0;
  EXPECT_EQ(sim_->LiveImage(), expected_live);
  EXPECT_FALSE(sim_->Locked());
  EXPECT_EQ(sim_->PresetImage(4), image) << "a slot keeps every byte written";
  EXPECT_EQ(sim_->PresetImage(5), DefaultSimImage());
  EXPECT_EQ(sim_->Count(SimFrameKind::kLongWrite), 2);
  EXPECT_TRUE(serial_.empty());
}

TEST_F(SimulatorTest, HidLongWriteIsHeaderReportThenNineReports) {
  const SimImage image = Pattern(9);
  const auto header = BuildLongWriteHeader(0, 0, kObjImage);
  // The editor's report buffer still holds older bytes behind the header; they are not data.
  sim_->OnHidReport(OutputReport(header, 0xEE));
  const auto block = BuildLongWriteBlock(0, 0, kObjImage, image);
  for (std::size_t offset = 0; offset < block.size(); offset += kHidDataSize) {
    const std::size_t n = std::min(kHidDataSize, block.size() - offset);
    sim_->OnHidReport(OutputReport(std::span(block).subspan(offset, n), 0xEE));
  }
  EXPECT_EQ(sim_->LiveImage(), image);
  EXPECT_EQ(sim_->BadFrames(), 0);
  ASSERT_EQ(sim_->received().size(), 1u);
  EXPECT_TRUE(sim_->received()[0].via_hid);
  EXPECT_EQ(sim_->received()[0].bytes.size(), kImageFrameLength);
}

TEST(SplitIntoHidReports, HeaderReportThenLDiv64PlusOneDataReports) {
  for (std::size_t length : {0u, 8u, 24u, 62u, 400u, 552u}) {
    SCOPED_TRACE(length);
    const Bytes data(length, 0x5C);
    const Bytes frame = BuildFrame(0, kCmdData, 0, 0x28, 0, data);
    const auto reports = SplitIntoHidReports(frame);
    ASSERT_EQ(reports.size(), 1 + length / 64 + 1);
    EXPECT_TRUE(std::equal(frame.begin(), frame.begin() + 10, reports[0].begin()));
    EXPECT_TRUE(std::all_of(reports[0].begin() + 10, reports[0].end(),
                            [](std::uint8_t b) { return b == 0; }));
    // Reassembled as the editor does: full data reports, then L mod 64 + 2 bytes.
    Bytes joined(reports[0].begin(), reports[0].begin() + 10);
    for (std::size_t k = 1; k + 1 < reports.size(); ++k) {
      joined.insert(joined.end(), reports[k].begin(), reports[k].end());
    }
    const std::size_t tail = length % 64 + 2;
    joined.insert(joined.end(), reports.back().begin(), reports.back().begin() + tail);
    EXPECT_EQ(joined, frame);
    EXPECT_TRUE(std::all_of(reports.back().begin() + tail, reports.back().end(),
                            [](std::uint8_t b) { return b == 0; }));
  }
}

TEST_F(SimulatorTest, AnswersOnTheLinkTheRequestCameFrom) {
  sim_->OnHidReport(OutputReport(BuildShortRequest(0, 0, kObjImage), 0x77));
  EXPECT_TRUE(serial_.empty());
  ASSERT_EQ(hid_.size(), 10u);
  EXPECT_EQ(Spaced(std::span(hid_[0]).first(10)), "A5 A5 A5 00 52 00 28 00 02 28");
  EXPECT_EQ(hid_.back()[41], kEndByte);  // 40 data bytes, checksum, AA

  hid_.clear();
  Request(0, kObjPoll);
  EXPECT_TRUE(hid_.empty());
  EXPECT_EQ(TakeSerial().size(), 20u);
}

TEST_F(SimulatorTest, StoreNamesAndGroupRoundTrip) {
  ParameterModel stored;
  stored.channels[kInA].gain = 33;
  Send(BuildBlockFrame(stored, 0, kInA, kChannelBlock));
  Send(BuildNameWrite(0, 5, "Rock"));
  EXPECT_EQ(Spaced(TakeSerial()), "A5 A5 A5 00 51 00 00 00 00 00 51 AA");
  EXPECT_EQ(sim_->PresetName(5), "Rock");
  EXPECT_EQ(sim_->Settings().current_preset, 5);

  Request(0, kObjPresetNames);
  const Bytes names = TakeSerial();
  EXPECT_EQ(std::string(names.begin() + 10 + 4 * 20, names.begin() + 10 + 4 * 20 + 5),
            std::string("Rock\0", 5));

  ParameterModel later = stored;
  later.channels[kInA].gain = 44;
  Send(BuildBlockFrame(later, 0, kInA, kChannelBlock));

  Request(5, kObjPresetImage);  // backup read: the slot, and the live settings untouched
  Bytes record = TakeSerial();
  ASSERT_EQ(record.size(), kImageFrameLength);
  EXPECT_EQ(Header(record), "A5 A5 A5 00 52 05 29 00 02 28");
  ParameterModel decoded;
  ASSERT_TRUE(DecodeParameterImage(EncodeHex(record), decoded));
  EXPECT_EQ(decoded, stored);
  EXPECT_EQ(sim_->LiveModel(), later);

  Request(5, kObjImage);  // recall: the processor takes the slot's settings
  record = TakeSerial();
  EXPECT_EQ(Header(record), "A5 A5 A5 00 52 05 28 00 02 28");
  EXPECT_EQ(sim_->LiveModel(), stored);

  // A name field without a zero byte keeps 19 characters, so the names reply still ends
  // every field in a zero.
  Bytes long_name(20, 'N');
  Send(BuildFrame(0, kCmdWrite, 7, kObjStorePreset, 0, long_name));
  EXPECT_EQ(sim_->PresetName(7), std::string(19, 'N'));
}

TEST_F(SimulatorTest, RecallKeepsThePanelLockState) {
  SimImage locked_image = Pattern(1);
  locked_image[ProcessorState::kLockByte] = 1;
  sim_->state().SetPreset(2, locked_image, "x");
  Request(2, kObjImage);
  EXPECT_FALSE(sim_->Locked());
  EXPECT_EQ(sim_->LiveImage()[ProcessorState::kLockByte], 0);
  EXPECT_EQ(sim_->Settings().current_preset, 2);
}

TEST_F(SimulatorTest, UnlockAndLock) {
  Make({.locked_at_start = true});
  EXPECT_TRUE(sim_->Locked());
  EXPECT_EQ(sim_->LiveImage()[ProcessorState::kLockByte], 1);
  EXPECT_EQ(sim_->LiveModel().panel_locked, 1);

  Send(BuildWriteFrame(0, kObjUnlock, 0, Password("ABCDEF")));
  EXPECT_EQ(Spaced(TakeSerial()), "A5 A5 A5 00 51 00 22 00 00 08 41 42 43 44 45 46 01 00 7D AA");
  EXPECT_TRUE(sim_->Locked());

  Send(BuildWriteFrame(0, kObjUnlock, 0, Password("123456")));
  EXPECT_EQ(Spaced(TakeSerial()), "A5 A5 A5 00 51 00 22 00 00 08 31 32 33 34 35 36 00 00 7C AA");
  EXPECT_FALSE(sim_->Locked());
  EXPECT_EQ(sim_->LiveImage()[ProcessorState::kLockByte], 0);

  Send(BuildWriteFrame(0, kObjLock, 0, Password("Zx9Q7m")));
  EXPECT_EQ(Spaced(TakeSerial()), "A5 A5 A5 00 51 00 23 00 00 08 5A 78 39 51 37 6D 01 00 6B AA");
  EXPECT_TRUE(sim_->Locked());
  EXPECT_EQ(sim_->LiveModel().panel_locked, 1);

  // The new password replaces the old one, letter case included.
  for (const char* wrong : {"123456", "zx9q7m"}) {
    Send(BuildWriteFrame(0, kObjUnlock, 0, Password(wrong)));
    EXPECT_EQ(TakeSerial()[16], 1) << wrong;
  }
  Send(BuildWriteFrame(0, kObjUnlock, 0, Password("Zx9Q7m")));
  EXPECT_EQ(TakeSerial()[16], 0);
  EXPECT_FALSE(sim_->Locked());

  // An unlocked panel stays unlocked whatever is typed.
  Send(BuildWriteFrame(0, kObjUnlock, 0, Password("WRONG1")));
  EXPECT_EQ(TakeSerial()[16], 0);
}

TEST_F(SimulatorTest, SettingsWriteAppliesAndAcknowledges) {
  Send(BuildWriteFrame(0, kObjDeviceSettings, 0, {7, 0x11, 0x22, 5, 0, 0, 0, 0}));
  // Acknowledged from the new address.
  EXPECT_EQ(Spaced(TakeSerial()), "A5 A5 A5 04 51 00 21 00 00 00 74 AA");
  EXPECT_EQ(sim_->Settings(), (SimDeviceSettings{7, 0x11, 0x22, 5}));
  Send(BuildSettingsRequest(4));
  EXPECT_EQ(Spaced(TakeSerial()), "A5 A5 A5 04 52 00 21 00 00 08 07 11 22 05 00 00 00 00 4E AA");

  // Nonsense preset and device number 0 are not taken; the setting bytes are.
  Send(BuildWriteFrame(4, kObjDeviceSettings, 0, {0, 1, 2, 0, 0, 0, 0, 0}));
  EXPECT_EQ(sim_->Settings(), (SimDeviceSettings{7, 1, 2, 5}));
}

TEST_F(SimulatorTest, RefreshReportOnEveryAttachedLink) {
  sim_->SendRefreshReport();
  EXPECT_EQ(Spaced(TakeSerial()), "A5 A5 A5 00 51 00 24 00 00 00 75 AA");
  ASSERT_EQ(hid_.size(), 2u);
  EXPECT_EQ(Spaced(std::span(hid_[1]).first(3)), "75 AA 00");
}

// ---- misbehaviour ----

TEST_F(SimulatorTest, SilentStillTakesFramesIn) {
  Make({.silent = true});
  ParameterModel changed;
  changed.channels[kOut2].mute = 1;
  Send(BuildBlockFrame(changed, 0, kOut2, kChannelBlock));
  Request(0, kObjImage);
  Request(0, kObjPoll);
  sim_->OnHidReport(OutputReport(BuildShortRequest(0, 0, kObjPoll)));
  clock_.Advance(10000);
  EXPECT_TRUE(serial_.empty());
  EXPECT_TRUE(hid_.empty());
  EXPECT_EQ(sim_->LiveModel(), changed);
  EXPECT_EQ(sim_->Count(SimFrameKind::kPoll), 2);
  EXPECT_EQ(sim_->Count(SimFrameKind::kImageRequest), 1);
}

TEST_F(SimulatorTest, LateRepliesOnBothLinks) {
  Make({.late_ms = 300});
  clock_.Advance(1000);
  Request(0, kObjImage);
  sim_->OnHidReport(OutputReport(BuildShortRequest(0, 0, kObjPoll)));
  clock_.Advance(299);
  EXPECT_TRUE(serial_.empty());
  EXPECT_TRUE(hid_.empty());
  clock_.Advance(1);
  ASSERT_EQ(serial_.size(), 1u);
  EXPECT_EQ(serial_[0].time_ms, 1300);
  EXPECT_EQ(serial_[0].bytes.size(), kImageFrameLength);
  EXPECT_EQ(hid_.size(), 2u);
}

TEST_F(SimulatorTest, SplitChunkSizes) {
  Request(0, kObjImage);
  const Bytes whole = TakeSerial();
  struct Case {
    std::vector<std::size_t> split;
    std::vector<std::size_t> sizes;
  };
  const Case cases[] = {
      {{48}, {48, 48, 48, 48, 48, 48, 48, 48, 48, 48, 48, 36}},
      {{5, 100}, {5, 100, 5, 100, 5, 100, 5, 100, 5, 100, 5, 34}},
      {{600}, {564}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.split.front());
    Make({.split_chunks = c.split});
    Request(0, kObjImage);
    EXPECT_EQ(ChunkSizes(), c.sizes);
    EXPECT_EQ(TakeSerial(), whole);
  }
}

TEST_F(SimulatorTest, IdentityBeforeTheImageOfEachConnection) {
  Make({.identity_first = true});
  Request(0, kObjImage);
  EXPECT_EQ(Spaced(TakeSerial()),
            "A5 A5 A5 00 52 00 A0 00 00 18 54 41 4D 42 52 45 4C 32 58 00 00 00 00 00 00 00 00 00 "
            "00 00 00 00 00 00 C1 AA");
  Request(0, kObjImage);  // the editor asks again
  EXPECT_EQ(TakeSerial().size(), kImageFrameLength);

  // Within the connection (a preset recall, a save to file) the image comes at once.
  clock_.Advance(500);
  Request(3, kObjImage);
  EXPECT_EQ(TakeSerial().size(), kImageFrameLength);
  clock_.Advance(500);
  Request(0, kObjImage);
  EXPECT_EQ(TakeSerial().size(), kImageFrameLength);

  // After a silence longer than the editor's poll time-out, a new connection.
  clock_.Advance(Simulator::kIdentityRearmMs + 1);
  Request(0, kObjImage);
  EXPECT_EQ(TakeSerial().size(), 36u);
}

TEST_F(SimulatorTest, DropAfterFramesStopsEverything) {
  Make({.drop_after_frames = 2});
  Request(0, kObjPoll);
  Request(0, kObjPoll);
  EXPECT_EQ(TakeSerial().size(), 40u);
  ParameterModel changed;
  changed.channels[kInA].mute = 1;
  Send(BuildBlockFrame(changed, 0, kInA, kChannelBlock));
  Request(0, kObjPoll);
  sim_->SendRefreshReport();
  clock_.Advance(5000);
  EXPECT_TRUE(serial_.empty());
  EXPECT_EQ(sim_->LiveModel(), ParameterModel()) << "a dropped link delivers nothing";
  EXPECT_EQ(sim_->DroppedFrames(), 2);
  EXPECT_EQ(sim_->FramesReceived(), 2);
}

TEST_F(SimulatorTest, MergeHoldsAReplyForTheNext) {
  Make({.merge_with_next = true});
  Request(0, kObjImage);
  EXPECT_TRUE(serial_.empty());
  Request(0, kObjPresetNames);
  ASSERT_EQ(ChunkSizes(), (std::vector<std::size_t>{564 + 412}));
  const Bytes both = TakeSerial();
  EXPECT_EQ(Header(Bytes(both.begin() + 564, both.end())), "A5 A5 A5 00 52 00 26 00 01 90");
  Request(0, kObjPoll);
  EXPECT_TRUE(serial_.empty());
}

TEST_F(SimulatorTest, NoiseGoesOutBeforeEachReply) {
  Make({.noise = {0x00, 0x13, 0xA5}});
  Request(0, kObjPoll);
  ASSERT_EQ(ChunkSizes(), (std::vector<std::size_t>{3, 20}));
  EXPECT_EQ(Spaced(serial_[0].bytes), "00 13 A5");
  sim_->OnHidReport(OutputReport(BuildShortRequest(0, 0, kObjPoll)));
  ASSERT_EQ(hid_.size(), 3u);
  EXPECT_EQ(Spaced(std::span(hid_[0]).first(4)), "00 13 A5 00");

  Make({.random_noise = 7});
  Request(0, kObjPoll);
  Request(0, kObjPoll);
  EXPECT_EQ(ChunkSizes(), (std::vector<std::size_t>{7, 20, 7, 20}));
  EXPECT_NE(serial_[0].bytes, serial_[2].bytes);
}

TEST_F(SimulatorTest, PacingAt9600Baud) {
  Make({.pacing_9600 = true});
  Request(0, kObjImage);
  Request(0, kObjPoll);  // queued behind the image on the same line
  clock_.Advance(9);
  EXPECT_TRUE(serial_.empty()) << "nothing arrives before its bytes could have";
  clock_.Advance(1000);
  std::int64_t previous = 0;
  for (const test::Chunk& c : serial_) {
    EXPECT_LE(c.bytes.size(), Simulator::kPacedChunkBytes);
    EXPECT_GE(c.time_ms, previous);
    previous = c.time_ms;
  }
  // 564 + 20 bytes of 10 bits each at 9600 baud.
  EXPECT_EQ(serial_.back().time_ms, 609);
  const Bytes all = TakeSerial();
  ASSERT_EQ(all.size(), 584u);
  EXPECT_EQ(Header(all), "A5 A5 A5 00 52 00 28 00 02 28");
  EXPECT_EQ(Header(Bytes(all.begin() + 564, all.end())), "A5 A5 A5 00 52 00 2B 00 00 08");
}

TEST_F(SimulatorTest, IgnoredObjectsAreTakenInButNotAnswered) {
  Make({.ignore_objects = {kObjPresetNames}});
  Request(0, kObjImage);
  EXPECT_EQ(TakeSerial().size(), kImageFrameLength);
  Request(0, kObjPresetNames);
  EXPECT_TRUE(serial_.empty());
  EXPECT_EQ(sim_->Count(SimFrameKind::kNamesRequest), 1);
}

TEST_F(SimulatorTest, LogKeepsEveryFrameWithItsTime) {
  clock_.Advance(250);
  Request(0, kObjPoll);
  clock_.Advance(250);
  sim_->OnHidReport(OutputReport(BuildShortRequest(0, 3, kObjPresetImage)));
  ASSERT_EQ(sim_->received().size(), 2u);
  EXPECT_EQ(sim_->received()[0].time_ms, 250);
  EXPECT_EQ(sim_->received()[0].kind, SimFrameKind::kPoll);
  EXPECT_FALSE(sim_->received()[0].via_hid);
  EXPECT_EQ(Spaced(sim_->received()[1].bytes), "A5 A5 A5 00 A2 03 29 00 00 00 88 AA");
  EXPECT_EQ(sim_->received()[1].kind, SimFrameKind::kGroupRequest);
  EXPECT_EQ(sim_->received()[1].time_ms, 500);
}

}  // namespace
}  // namespace veltrane
