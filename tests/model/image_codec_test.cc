#include "model/image_codec.h"

#include <gtest/gtest.h>

#include <random>

#include "frame/frame_codec.h"
#include "model/blocks.h"

namespace veltrane {
namespace {

// An image text with every data byte 0 and the given bytes patched in.
class ImageText {
 public:
  ImageText() : text_("A5A5A500520028000228" + std::string(2 * 554, '0')) {
    text_.replace(kImageTextLength - 2, 2, "AA");
  }
  ImageText& Set(int frame_byte, std::uint8_t value) {
    const std::uint8_t b[] = {value};
    text_.replace(2 * frame_byte, 2, EncodeHex(b));
    return *this;
  }
  ImageText& SetRecord(int record, int byte, std::uint8_t value) {
    return Set(ImageByteOfRecord(record, byte), value);
  }
  const std::string& str() const { return text_; }

 private:
  std::string text_;
};

TEST(ImageCodec, AllZeroImage) {
  ParameterModel model;
  model.panel_locked = 1;
  ASSERT_TRUE(DecodeParameterImage(ImageText().str(), model));
  for (const auto& ch : model.channels) {
    EXPECT_EQ(ch, ChannelParams({0, 0, 0, 0, 0, 0, 0, 0, 0}));
  }
  for (const auto& out : model.outputs) EXPECT_EQ(out, OutputParams{});
  for (const auto& band : model.bands) EXPECT_EQ(band, BandParams({0, 0, 0, 0, 0}));
  EXPECT_EQ(model.panel_locked, 0);
}

TEST(ImageCodec, WorkedPositionsAndClamps) {
  ImageText image;
  image
      .Set(12, 0xF5)  // In A gain, clamped
      .Set(14, 0xC0)
      .Set(15, 0x03)          // In A delay 960, low byte first
      .Set(173, 2)            // Out 1 route
      .Set(522, 1)            // lock
      .Set(520, 0xB4)         // band 47 Q, clamped
      .SetRecord(2, 0, 0xF1)  // band 0 frequency, clamped
      .SetRecord(2, 1, 7)     // band 0 type, clamped
      .SetRecord(2, 2, 0x78)
      .SetRecord(2, 3, 0x00)  // peak gain 120
      .SetRecord(2, 4, 0x5A)
      .SetRecord(2, 5, 0x00)  // shelf gain 90
      .SetRecord(3, 2, 0x00)
      .SetRecord(3, 3, 0x01)  // band 1 peak gain 256 -> 180
      .SetRecord(1, 1, 0x0C)  // In A high-pass type, clamped
      .SetRecord(1, 2, 0xFF)  // In A low-pass frequency, clamped
      .SetRecord(20, 0, 2)    // Out 1 mute 2, kept
      .SetRecord(22, 3, 12)   // Out 1 ratio 12, kept
      .SetRecord(10, 3, 3);   // In B byte 3 is not a route: ignored
  ParameterModel model;
  ASSERT_TRUE(DecodeParameterImage(image.str(), model));
  EXPECT_EQ(model.channels[kInA].gain, 240);
  EXPECT_EQ(model.channels[kInA].delay, 960);
  EXPECT_EQ(model.Output(kOut1).route, 2);
  EXPECT_EQ(model.panel_locked, 1);
  EXPECT_EQ(model.bands[47].q, 179);
  EXPECT_EQ(model.bands[0].freq, 240);
  EXPECT_EQ(model.bands[0].type, 2);
  EXPECT_EQ(model.bands[0].peak_gain, 120);
  EXPECT_EQ(model.bands[0].shelf_gain, 90);
  EXPECT_EQ(model.bands[1].peak_gain, 180);
  EXPECT_EQ(model.channels[kInA].hp_type, 11);
  EXPECT_EQ(model.channels[kInA].lp_freq, 240);
  EXPECT_EQ(model.channels[kOut1].mute, 2);
  EXPECT_EQ(model.Output(kOut1).limiter_ratio, 12);
  for (int c = 0; c < kChannelCount; ++c) EXPECT_EQ(model.channels[c].gain, c == 0 ? 240 : 0);

  // A preset file does not carry the lock into the editor.
  ParameterModel unlocked;
  ASSERT_TRUE(DecodeParameterImage(image.str(), unlocked, {.read_lock = false}));
  EXPECT_EQ(unlocked.panel_locked, 0);
}

TEST(ImageCodec, RefusesOtherLengths) {
  ParameterModel model;
  const ParameterModel before = model;
  const std::string good = ImageText().str();
  EXPECT_FALSE(DecodeParameterImage(good.substr(0, 1127), model));
  EXPECT_FALSE(DecodeParameterImage(good + "0", model));
  EXPECT_FALSE(DecodeParameterImage("", model));
  EXPECT_EQ(model, before);
}

TEST(ImageCodec, EncodeDecodeRoundTrip) {
  ParameterModel model;
  std::mt19937 rng(7);
  auto pick = [&](int max) { return static_cast<std::uint8_t>(rng() % (max + 1)); };
  for (auto& ch : model.channels) {
    ch = {pick(1), pick(1),   pick(240), static_cast<std::uint16_t>(rng() % 961),
          pick(1), pick(240), pick(11),  pick(240),
          pick(11)};
  }
  for (auto& out : model.outputs) out = {pick(3), pick(60), pick(106), pick(5), pick(8)};
  for (auto& band : model.bands) {
    band = {pick(240), pick(2), pick(180), pick(180), pick(179)};
  }
  const std::string text = EncodeParameterImage(model);
  ASSERT_EQ(text.size(), kImageTextLength);
  EXPECT_EQ(text.substr(0, 20), "A5A5A500520028000228");
  EXPECT_EQ(text.substr(1044), std::string(82, '0') + "AA");
  ParameterModel decoded;
  ASSERT_TRUE(DecodeParameterImage(text, decoded));
  EXPECT_EQ(decoded, model);
  // The records are exactly the write frames' block bytes.
  for (int c = 0; c < kChannelCount; ++c) {
    for (int b = 0; b < BlockCount(c); ++b) {
      const WriteFrame f = BuildBlockFrame(model, 0, c, b);
      const int first = ImageByteOfRecord(ImageRecordOfBlock(c, b), 0);
      EXPECT_EQ(text.substr(2 * first, 16), EncodeHex(std::span(f).subspan(10, 8)));
    }
  }
}

TEST(ImageCodec, AnyTextOfTheRightLengthDecodesWithinRange) {
  std::mt19937 rng(11);
  const std::string alphabet = "0123456789ABCDEFabcdefXYZ -";
  for (int round = 0; round < 200; ++round) {
    std::string text(kImageTextLength, '0');
    for (char& ch : text) ch = alphabet[rng() % alphabet.size()];
    ParameterModel model;
    ASSERT_TRUE(DecodeParameterImage(text, model));
    for (const auto& ch : model.channels) {
      EXPECT_LE(ch.gain, 240);
      EXPECT_LE(ch.hp_freq, 240);
      EXPECT_LE(ch.lp_type, 11);
    }
    for (const auto& band : model.bands) {
      EXPECT_LE(band.freq, 240);
      EXPECT_LE(band.type, 2);
      EXPECT_LE(band.peak_gain, 180);
      EXPECT_LE(band.shelf_gain, 180);
      EXPECT_LE(band.q, 179);
    }
  }
}

}  // namespace
}  // namespace veltrane
