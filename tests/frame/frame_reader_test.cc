// The frame reader: bytes in, checked frames out, whatever the line did to them.

#include "frame/frame_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hex_util.h"

namespace veltrane {
namespace {

using test::Hex;

const Bytes kAck = Hex("A5 A5 A5 00 51 00 00 00 00 00 51 AA");

struct Rig {
  Rig() : reader(kProcessorFrames, [this](const Frame& f) { OnFrame(f); }) {}
  void OnFrame(const Frame& f) {
    frames.push_back(test::Spaced(f.bytes));
    objects.push_back(f.object);
    if (reset_in_handler) reader.Reset();
  }
  std::vector<std::string> frames;
  std::vector<std::uint8_t> objects;
  bool reset_in_handler = false;
  FrameReader reader;
};

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(FrameReader, TakesWholeSoundFramesOutOfAnyStream) {
  const Bytes settings =
      BuildFrame(2, kCmdData, 0, kObjDeviceSettings, 0, Bytes{1, 2, 3, 4, 0, 0, 0, 0});
  Bytes bad_sum = kAck;
  bad_sum[10] ^= 1;
  const Bytes foreign = BuildFrame(0, kCmdWrite, 0, kObjImage, 0, Bytes(8));  // the editor's own
  const struct {
    const char* what;
    Bytes stream;
    int frames;
    int bad;
  } cases[] = {
      {"two frames in one read", Join({kAck, settings}), 2, 0},
      {"noise before, between and after",
       Join({Hex("00 A5 13"), kAck, Hex("A5 A5 00"), kAck, Hex("77")}), 2, 0},
      {"bad checksum, then a good one", Join({bad_sum, kAck}), 1, 1},
      {"a command the processor does not send", Join({foreign, kAck}), 1, 0},
      {"a length longer than an image", Join({Hex("A5 A5 A5 00 52 00 28 00 02 29"), kAck}), 1, 0},
  };
  for (const auto& c : cases) {
    Rig rig;
    // Byte by byte and all at once must give the same.
    for (std::uint8_t b : c.stream) rig.reader.Feed(std::span(&b, 1), 0);
    Rig whole;
    whole.reader.Feed(c.stream, 0);
    EXPECT_EQ(static_cast<int>(rig.frames.size()), c.frames) << c.what;
    EXPECT_EQ(rig.frames, whole.frames) << c.what;
    EXPECT_EQ(rig.reader.bad_frames(), c.bad) << c.what;
  }
}

TEST(FrameReader, FieldsOfAFrame) {
  const Bytes names = BuildFrame(4, kCmdData, 7, kObjPresetNames, 9, Bytes(400, 'n'));
  Frame seen;
  FrameReader reader(kProcessorFrames, [&](const Frame& f) {
    seen = f;
    EXPECT_EQ(f.data.size(), 400u);
    EXPECT_EQ(f.data[399], 'n');
    EXPECT_EQ(f.bytes.size(), names.size());
  });
  reader.Feed(names, 0);
  EXPECT_EQ(seen.device, 4);
  EXPECT_EQ(seen.command, kCmdData);
  EXPECT_EQ(seen.bank, 7);
  EXPECT_EQ(seen.object, kObjPresetNames);
  EXPECT_EQ(seen.index, 9);
}

TEST(FrameReader, AFrameThatStopsHalfWayIsGivenUpAfterItsTimeOut) {
  Rig rig;
  const Bytes image = BuildFrame(0, kCmdData, 0, kObjImage, 0, Bytes(kImageDataLength));
  rig.reader.Feed(std::span(image).first(300), 0);
  const std::int64_t limit = IncompleteFrameTimeoutMs(image.size());
  rig.reader.Feed(kAck, limit);  // still in time: taken as the image's data
  EXPECT_TRUE(rig.frames.empty());
  rig.reader.Feed({}, limit + 1);
  EXPECT_EQ(rig.reader.bad_frames(), 1);
  EXPECT_EQ(rig.frames, std::vector<std::string>{test::Spaced(kAck)});  // looked at again
  EXPECT_TRUE(rig.reader.Empty());
}

TEST(FrameReader, ResetInTheHandlerDropsWhatFollowed) {
  Rig rig;
  rig.reset_in_handler = true;
  rig.reader.Feed(Join({kAck, kAck, Hex("A5 A5")}), 0);
  EXPECT_EQ(rig.frames.size(), 1u);
  EXPECT_TRUE(rig.reader.Empty());
  rig.reset_in_handler = false;
  rig.reader.Feed(kAck, 0);
  EXPECT_EQ(rig.frames.size(), 2u);
}

}  // namespace
}  // namespace veltrane
