#include "model/image_codec.h"

#include <algorithm>

#include "frame/frame_codec.h"
#include "model/blocks.h"

namespace veltrane {
namespace {

class TextRecords {
 public:
  explicit TextRecords(std::string_view text) : text_(text) {}
  std::uint8_t Byte(int record, int byte) const {
    return HexByteAt(text_, 2 * ImageByteOfRecord(record, byte) + 1);
  }

 private:
  std::string_view text_;
};

class DataRecords {
 public:
  explicit DataRecords(std::span<const std::uint8_t> data) : data_(data) {}
  std::uint8_t Byte(int record, int byte) const {
    return data_[static_cast<std::size_t>(ImageByteOfRecord(record, byte) - 10)];
  }

 private:
  std::span<const std::uint8_t> data_;
};

template <typename Records>
std::uint16_t Word(const Records& in, int record, int low_byte) {
  return static_cast<std::uint16_t>(in.Byte(record, low_byte + 1) * 256 +
                                    in.Byte(record, low_byte));
}

template <typename T>
T ClampTo(T value, int max) {
  return static_cast<T>(std::min<int>(value, max));
}

template <typename Records>
void DecodeRecords(const Records& in, ParameterModel& model, DecodeOptions options) {
  for (int channel = 0; channel < kChannelCount; ++channel) {
    ChannelParams& ch = model.channels[channel];
    const int rec = ImageRecordOfBlock(channel, kChannelBlock);
    ch.mute = in.Byte(rec, 0);
    ch.polarity = in.Byte(rec, 1);
    ch.gain = ClampTo(in.Byte(rec, 2), 240);
    if (IsOutput(channel)) model.Output(channel).route = in.Byte(rec, 3);
    ch.delay = Word(in, rec, 4);
    ch.eq_bypass = in.Byte(rec, 6);

    const int xo = ImageRecordOfBlock(channel, kCrossoverBlock);
    ch.hp_freq = ClampTo(in.Byte(xo, 0), 240);
    ch.hp_type = ClampTo(in.Byte(xo, 1), 11);
    ch.lp_freq = ClampTo(in.Byte(xo, 2), 240);
    ch.lp_type = ClampTo(in.Byte(xo, 3), 11);

    if (IsOutput(channel)) {
      OutputParams& out = model.Output(channel);
      const int lim = ImageRecordOfBlock(channel, kLimiterBlock);
      out.limiter_threshold = in.Byte(lim, 0);
      out.limiter_attack = in.Byte(lim, 1);
      out.limiter_release = in.Byte(lim, 2);
      out.limiter_ratio = in.Byte(lim, 3);
    }

    for (int n = 0; n < kBandsPerChannel; ++n) {
      const int band_id = BandId(channel, n);
      BandParams& band = model.bands[band_id];
      const int rec_b = ImageRecordOfBlock(channel, EqBandBlockNumber(band_id));
      band.freq = ClampTo(in.Byte(rec_b, 0), 240);
      band.type = ClampTo(in.Byte(rec_b, 1), 2);
      band.peak_gain = ClampTo(Word(in, rec_b, 2), 180);
      band.shelf_gain = ClampTo(Word(in, rec_b, 4), 180);
      band.q = ClampTo(in.Byte(rec_b, 6), 179);
    }
  }
  if (options.read_lock) model.panel_locked = in.Byte(kLockRecord, 0);
}

}  // namespace

bool DecodeParameterImage(std::string_view text, ParameterModel& model, DecodeOptions options) {
  if (text.size() != kImageTextLength) return false;
  DecodeRecords(TextRecords(text), model, options);
  return true;
}

bool DecodeParameterImageData(std::span<const std::uint8_t> data, ParameterModel& model,
                              DecodeOptions options) {
  if (data.size() != kImageDataLength) return false;
  DecodeRecords(DataRecords(data), model, options);
  return true;
}

std::string EncodeParameterImage(const ParameterModel& model) {
  std::array<std::uint8_t, kImageFrameLength> image{};
  constexpr std::array<std::uint8_t, 10> kHeader = {0xA5, 0xA5, 0xA5, 0x00, 0x52,
                                                    0x00, 0x28, 0x00, 0x02, 0x28};
  std::copy(kHeader.begin(), kHeader.end(), image.begin());
  for (int channel = 0; channel < kChannelCount; ++channel) {
    for (int block = 0; block < BlockCount(channel); ++block) {
      const BlockBytes bytes = EncodeBlock(model, channel, block);
      const int first = ImageByteOfRecord(ImageRecordOfBlock(channel, block), 0);
      std::copy(bytes.begin(), bytes.end(), image.begin() + first);
    }
  }
  image[kImageFrameLength - 1] = kEndByte;
  return EncodeHex(image);
}

}  // namespace veltrane
