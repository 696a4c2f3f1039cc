#include "frame/frame_codec.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <string_view>

#include "hex_util.h"

namespace veltrane {
namespace {

using test::Spaced;

struct ShortCase {
  std::uint8_t device_id, bank, object;
  const char* expected;
};

TEST(FrameCodec, ShortRequests) {
  const ShortCase cases[] = {
      {0, 0, kObjImage, "A5 A5 A5 00 A2 00 28 00 00 00 8A AA"},
      {4, 0, kObjImage, "A5 A5 A5 04 A2 00 28 00 00 00 8E AA"},
      {0, 3, kObjImage, "A5 A5 A5 00 A2 03 28 00 00 00 89 AA"},
      {0, 0, kObjPoll, "A5 A5 A5 00 A2 00 2B 00 00 00 89 AA"},
      {0, 0, kObjPresetNames, "A5 A5 A5 00 A2 00 26 00 00 00 84 AA"},
      {7, 20, kObjPresetImage, "A5 A5 A5 07 A2 14 29 00 00 00 98 AA"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Spaced(BuildShortRequest(c.device_id, c.bank, c.object)), c.expected);
    // The general builder agrees with the fixed-size one.
    EXPECT_EQ(Spaced(BuildFrame(c.device_id, kCmdRequest, c.bank, c.object, 0, {})), c.expected);
  }
}

TEST(FrameCodec, SettingsRequestAndWriteFrames) {
  EXPECT_EQ(Spaced(BuildSettingsRequest(0)),
            "A5 A5 A5 00 A2 00 21 00 00 08 00 00 00 00 00 00 00 00 8B AA");
  // All-zero data: checksum = DeviceId ^ A1 ^ object ^ index ^ 08.
  for (std::uint8_t id : {0, 1, 0x7F, 0xFF}) {
    const WriteFrame f = BuildWriteFrame(id, 3, 7, {});
    EXPECT_EQ(f[18], id ^ 0xA1 ^ 3 ^ 7 ^ 0x08);
    EXPECT_EQ(f[19], 0xAA);
    EXPECT_EQ(BuildSettingsRequest(id)[18], id ^ 0x8B);
  }
}

TEST(FrameCodec, NameWriteCutsToNineteenCharacters) {
  const auto f = BuildNameWrite(0, 5, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(f[5], 5);
  EXPECT_EQ(f[6], kObjStorePreset);
  EXPECT_EQ(f[9], 20);
  EXPECT_EQ(f[28], 'S');
  EXPECT_EQ(f[29], 0);  // the field always ends in a zero byte
  EXPECT_EQ(f[30], FrameChecksum(f, 29));
  EXPECT_EQ(f[31], 0xAA);
}

TEST(FrameCodec, LongWriteChecksum) {
  const std::array<std::uint8_t, kImageDataLength> zeros{};
  EXPECT_EQ(Spaced(BuildLongWriteHeader(0, 0, kObjImage)), "A5 A5 A5 00 A1 00 28 00 02 28");
  EXPECT_EQ(BuildLongWriteBlock(0, 0, kObjImage, zeros)[552], 0xA3);
  EXPECT_EQ(BuildLongWriteBlock(0, 3, kObjPresetImage, zeros)[552], 0xA1);
  EXPECT_EQ(BuildLongWriteBlock(0, 3, kObjPresetImage, zeros)[553], 0xAA);
  // Same rule as any frame over the whole long write.
  std::array<std::uint8_t, kImageDataLength> data{};
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  const Bytes whole = BuildFrame(9, kCmdWrite, 4, kObjPresetImage, 0, data);
  EXPECT_EQ(BuildLongWriteBlock(9, 4, kObjPresetImage, data)[552], whole[whole.size() - 2]);
}

TEST(FrameCodec, HexText) {
  const std::uint8_t bytes[] = {0x0A, 0xFF, 0x00, 0x5C};
  EXPECT_EQ(EncodeHex(bytes), "0AFF005C");
  EXPECT_EQ(HexByteAt("0AFF005C", 3), 0xFF);
  EXPECT_EQ(HexWordAt("A5A5A500520028000228", 17), 552);
  EXPECT_EQ(HexWordAt("0aff", 1), 0x0AFF);
  // Reads past the end or of a non-digit are defined, never out of bounds.
  EXPECT_EQ(HexByteAt("0A", 2), 0);
  EXPECT_EQ(HexByteAt("0A", 0), 0);
  EXPECT_EQ(HexByteAt("G1", 1), 0);
  EXPECT_TRUE(TextAt("A5A5A5", 1, "A5A5A5"));
  EXPECT_FALSE(TextAt("A5A5", 1, "A5A5A5"));
  EXPECT_EQ(WordToBytes(960), (std::pair<std::uint8_t, std::uint8_t>{0x03, 0xC0}));
  EXPECT_TRUE(IsHexText("0123456789abcdefABCDEF"));
  EXPECT_FALSE(IsHexText("12 4"));
}

// Positions come from peer data: one near the largest size_t must not wrap round to a
// small one. The text sits behind hex digits, so a wrapped read would find a number.
TEST(FrameCodec, PositionsNearTheTopOfSizeT) {
  const std::string buffer = "5A5A0AFF";
  const std::string_view text = std::string_view(buffer).substr(4);
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  for (std::size_t position : {kMax, kMax - 1, kMax - 2, kMax - 3, text.size(), text.size() + 1}) {
    SCOPED_TRACE(position);
    EXPECT_EQ(HexByteAt(text, position), 0);
    EXPECT_EQ(HexWordAt(text, position), 0);
    EXPECT_FALSE(TextAt(text, position, "5A"));
    EXPECT_FALSE(TextAt(text, position, "5A5A"));
  }
  EXPECT_EQ(HexWordAt(text, 1), 0x0AFF);
  EXPECT_TRUE(TextAt(text, 3, "FF"));
}

}  // namespace
}  // namespace veltrane
