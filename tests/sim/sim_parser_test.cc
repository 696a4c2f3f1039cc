// How the simulator takes frames from a damaged or noisy line.

#include <gtest/gtest.h>

#include <random>

#include "hex_util.h"
#include "model/blocks.h"
#include "sim/simulator.h"
#include "sim_test_util.h"

namespace veltrane {
namespace {

using test::Hex;
using test::OutputReport;
using test::Spaced;

using SimParserTest = test::SimFixture;

constexpr char kPollAnswer[] = "A5 A5 A5 00 52 00 2B 00 00 08 00 00 00 00 00 00 00 00 71 AA";

TEST_F(SimParserTest, FindsTheFrameBehindNoise) {
  const Bytes poll = Hex("A5 A5 A5 00 A2 00 2B 00 00 00 89 AA");
  struct Case {
    const char* what;
    Bytes before;
  };
  const Case cases[] = {
      {"nothing", {}},
      {"random bytes", Hex("00 FF 13 AA 52")},
      {"a partial marker", Hex("A5 A5 00")},
      {"one A5 too many", Hex("A5")},
      {"a header of an unknown command", Hex("A5 A5 A5 00 52 00 28 00 02 28")},
      {"a header claiming 65535 bytes", Hex("A5 A5 A5 00 A2 00 28 00 FF FF")},
      {"a frame with a wrong checksum", Hex("A5 A5 A5 00 A2 00 28 00 00 00 8B AA")},
      {"a frame without its end byte", Hex("A5 A5 A5 00 A2 00 28 00 00 00 8A AB")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Make();
    Bytes stream = c.before;
    stream.insert(stream.end(), poll.begin(), poll.end());
    Send(stream);
    EXPECT_EQ(Spaced(TakeSerial()), kPollAnswer);
    EXPECT_EQ(sim_->FramesReceived(), 1);
  }
}

TEST_F(SimParserTest, FramesSplitAnywhereOrJoinedInOneRead) {
  ParameterModel changed;
  changed.channels[kOut1].gain = 7;
  const auto write = BuildBlockFrame(changed, 0, kOut1, kChannelBlock);
  const auto poll = BuildShortRequest(0, 0, kObjPoll);
  Bytes stream(write.begin(), write.end());
  stream.insert(stream.end(), poll.begin(), poll.end());
  stream.insert(stream.end(), write.begin(), write.end());
  for (std::size_t piece : {1u, 3u, 11u, 64u}) {
    SCOPED_TRACE(piece);
    Make();
    for (std::size_t i = 0; i < stream.size(); i += piece) {
      Send(std::span(stream).subspan(i, std::min(piece, stream.size() - i)));
    }
    EXPECT_EQ(Spaced(TakeSerial()), kPollAnswer);
    EXPECT_EQ(sim_->LiveModel(), changed);
    EXPECT_EQ(sim_->FramesReceived(), 3);
  }
}

TEST_F(SimParserTest, AMangledWriteChangesNothing) {
  ParameterModel changed;
  changed.channels[kInA].gain = 7;
  auto write = BuildBlockFrame(changed, 0, kInA, kChannelBlock);
  write[12] ^= 0x40;  // the line flipped a bit of the gain
  Send(write);
  EXPECT_EQ(sim_->LiveModel(), ParameterModel());
  EXPECT_EQ(sim_->BadFrames(), 1);
}

TEST_F(SimParserTest, ABrokenOffSerialLongWriteDoesNotSwallowLaterFrames) {
  // A header whose block never follows.
  Send(BuildLongWriteHeader(0, 0, kObjImage));
  clock_.Advance(IncompleteFrameTimeoutMs(kImageFrameLength) + 1);
  Request(0, kObjPoll);
  EXPECT_EQ(Spaced(TakeSerial()), kPollAnswer);
  EXPECT_EQ(sim_->BadFrames(), 1);
  EXPECT_EQ(sim_->LiveImage(), DefaultSimImage());
}

TEST_F(SimParserTest, ABrokenOffHidLongWriteDoesNotSwallowLaterFrames) {
  // The editor's third report write failed, so the rest of the block never came.
  SimImage image{};
  image.fill(0x42);
  const auto block = BuildLongWriteBlock(0, 0, kObjImage, image);
  sim_->OnHidReport(OutputReport(BuildLongWriteHeader(0, 0, kObjImage)));
  sim_->OnHidReport(OutputReport(std::span(block).first(64)));
  clock_.Advance(IncompleteFrameTimeoutMs(kImageFrameLength) + 1);
  sim_->OnHidReport(OutputReport(BuildShortRequest(0, 0, kObjPoll)));
  EXPECT_EQ(hid_.size(), 2u) << "the poll is answered";
  EXPECT_EQ(sim_->LiveImage(), DefaultSimImage());
  EXPECT_EQ(sim_->BadFrames(), 1);

  // Reports that begin with no start marker are not frames.
  sim_->OnHidReport(OutputReport(Hex("00 A5 A5 A5 00 A2 00 2B 00 00 00 89 AA")));
  EXPECT_EQ(sim_->FramesReceived(), 1);
}

// A plausible header whose body never comes must not swallow the polls that keep coming
// after it: the pending frame is timed from its first byte, and the polls that arrived
// meanwhile are found behind its start. The editor gives up 2 s after an unanswered poll.
TEST_F(SimParserTest, AHeaderWithoutItsBodyDoesNotSwallowPolls) {
  const Bytes header = Hex("A5 A5 A5 00 A1 00 28 00 02 28");
  const auto poll = BuildShortRequest(0, 0, kObjPoll);
  for (const bool hid : {false, true}) {
    SCOPED_TRACE(hid ? "HID" : "serial");
    Make();
    const auto send = [&](std::span<const std::uint8_t> bytes) {
      if (hid) {
        sim_->OnHidReport(OutputReport(bytes));
      } else {
        Send(bytes);
      }
    };
    const auto answered = [&] { return sim_->Count(SimFrameKind::kPoll); };
    send(header);
    for (int n = 1; n <= 10; ++n) {
      clock_.Advance(500);
      send(poll);
      // Every poll sent 2 s ago or earlier has its answer.
      EXPECT_GE(answered(), n - 4) << "after poll " << n;
    }
    EXPECT_EQ(answered(), 10);
    EXPECT_EQ(hid ? hid_.size() : serial_.size(), hid ? 20u : 10u);  // HID: header and data
    EXPECT_EQ(sim_->BadFrames(), 1);
  }
}

// Thousands of random and mutated streams and reports: the simulator must neither crash
// (the sanitizer build runs this) nor lose its footing for the frames that follow.
TEST_F(SimParserTest, SurvivesRandomAndMutatedInput) {
  std::mt19937 rng(20240611);
  auto random = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::vector<Bytes> valid;
  for (std::uint8_t obj : {kObjImage, kObjPresetNames, kObjPoll, kObjPresetImage}) {
    const auto r = BuildShortRequest(0, static_cast<std::uint8_t>(random(0, 21)), obj);
    valid.emplace_back(r.begin(), r.end());
  }
  for (std::uint8_t obj :
       {std::uint8_t{0}, std::uint8_t{5}, kObjUnlock, kObjLock, kObjDeviceSettings}) {
    // Data byte 3 of a settings write is the device number: it stays 1, so the frames
    // that follow keep reaching this processor.
    const auto w =
        BuildWriteFrame(0, obj, static_cast<std::uint8_t>(random(0, 12)), {1, 2, 3, 1, 5, 6, 7, 8});
    valid.emplace_back(w.begin(), w.end());
  }
  const auto name = BuildNameWrite(0, 3, "Name");
  valid.emplace_back(name.begin(), name.end());
  SimImage image{};
  const auto header = BuildLongWriteHeader(0, 2, kObjPresetImage);
  const auto block = BuildLongWriteBlock(0, 2, kObjPresetImage, image);
  Bytes long_write(header.begin(), header.end());
  long_write.insert(long_write.end(), block.begin(), block.end());
  valid.push_back(long_write);

  auto mutated = [&]() {
    Bytes out;
    const int frames = random(1, 4);
    for (int f = 0; f < frames; ++f) {
      Bytes frame = valid[random(0, static_cast<int>(valid.size()) - 1)];
      switch (random(0, 5)) {
        case 0:
          frame[random(0, static_cast<int>(frame.size()) - 1)] ^= 1 << random(0, 7);
          break;
        case 1:
          frame.resize(random(0, static_cast<int>(frame.size())));
          break;
        case 2:
          frame.insert(frame.begin() + random(0, static_cast<int>(frame.size())),
                       static_cast<std::uint8_t>(random(0, 255)));
          break;
        case 3:
          frame[8] = static_cast<std::uint8_t>(random(0, 255));
          frame[9] = static_cast<std::uint8_t>(random(0, 255));
          break;
        default:
          break;  // left whole
      }
      out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
  };

  for (int round = 0; round < 3000; ++round) {
    Bytes stream;
    if (random(0, 2) == 0) {
      stream.resize(random(0, 700));
      for (auto& b : stream) b = static_cast<std::uint8_t>(random(0, 255));
    } else {
      stream = mutated();
    }
    for (std::size_t i = 0; i < stream.size();) {
      const std::size_t n = std::min<std::size_t>(random(1, 80), stream.size() - i);
      Send(std::span(stream).subspan(i, n));
      i += n;
      clock_.Advance(random(0, 30));
    }

    HidReport report{};
    for (auto& b : report) b = static_cast<std::uint8_t>(random(0, 255));
    if (random(0, 1) == 0) {
      const Bytes frame = mutated();
      std::copy_n(frame.begin(), std::min(frame.size(), kHidDataSize), report.begin() + 1);
    }
    sim_->OnHidReport(report);
    serial_.clear();
    hid_.clear();
  }

  EXPECT_EQ(sim_->LiveModel().panel_locked, sim_->Locked() ? 1 : 0);
  EXPECT_GT(sim_->FramesReceived(), 100) << "the mutated streams still carry whole frames";
  EXPECT_GT(sim_->BadFrames(), 100);

  // After a pause anything half-received is given up, and the next poll is answered on
  // either link.
  clock_.Advance(IncompleteFrameTimeoutMs(kImageFrameLength) + 1);
  const int before = sim_->Count(SimFrameKind::kPoll);
  // A settings write among the frames may have given the processor another number.
  const auto id = static_cast<std::uint8_t>(sim_->Settings().device_number - 1);
  Request(0, kObjPoll, id);
  sim_->OnHidReport(OutputReport(BuildShortRequest(id, 0, kObjPoll)));
  EXPECT_EQ(sim_->Count(SimFrameKind::kPoll), before + 2);
  const Bytes answer = TakeSerial();
  ASSERT_EQ(answer.size(), 20u);
  EXPECT_EQ(Spaced(std::span(answer).subspan(4, 6)), "52 00 2B 00 00 08");
  EXPECT_EQ(hid_.size(), 2u);
}

}  // namespace
}  // namespace veltrane
