// The frame and hex codecs, the frame reader, the image decoder and the names decoder, on
// any bytes and on any text. Decoding, encoding and decoding again must give the same model
// and names; the builders must agree with one another; the reader must hand on sound frames
// only; the hex helpers must read inside the text only (ASan watches every read of the
// input, which libFuzzer hands over in a buffer of its exact size).

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "frame/frame_codec.h"
#include "frame/frame_reader.h"
#include "fuzz_check.h"
#include "fuzz_checks.h"
#include "model/image_codec.h"
#include "protocol/engine.h"  // DecodePresetNames

namespace veltrane::fuzz {
namespace {

constexpr std::size_t kNamesFrameLength = 412;
constexpr std::size_t kNameField = 20;

// The value of a hex digit of either case, read without the codec's help.
int DigitOf(char c) {
  constexpr std::string_view kUpper = "0123456789ABCDEF";
  constexpr std::string_view kLower = "0123456789abcdef";
  if (const auto at = kUpper.find(c); at != std::string_view::npos) return static_cast<int>(at);
  if (const auto at = kLower.find(c); at != std::string_view::npos) return static_cast<int>(at);
  return -1;
}

// The byte at a 1-based position, 0 past the end or for a digit that is not hex.
std::uint8_t ExpectedByteAt(std::string_view text, std::size_t position) {
  if (position == 0 || position >= text.size()) return 0;
  const int hi = DigitOf(text[position - 1]);
  const int lo = DigitOf(text[position]);
  return hi < 0 || lo < 0 ? 0 : static_cast<std::uint8_t>(hi * 16 + lo);
}

void CheckHexHelpers(std::string_view text) {
  if (text.size() > 4096) text = text.substr(0, 4096);
  // Literals that occur in the text and one that mostly does not.
  std::vector<std::string_view> literals = {"A5A5A5", "52", ""};
  for (std::size_t first = 0; first < text.size() && literals.size() < 8; first += 97) {
    literals.push_back(text.substr(first, 1 + first % 12));
  }
  for (std::size_t position = 0; position <= text.size() + 4; ++position) {
    FUZZ_CHECK(HexByteAt(text, position) == ExpectedByteAt(text, position));
    FUZZ_CHECK(HexWordAt(text, position) ==
               ExpectedByteAt(text, position) * 256 + ExpectedByteAt(text, position + 2));
    // Comparisons near both ends, where the bounds are, and at the literals' own places.
    if (position > 64 && position + 64 < text.size() && position % 97 != 1) continue;
    for (std::string_view literal : literals) {
      const bool fits = position >= 1 && position - 1 + literal.size() <= text.size();
      const bool expected = fits && text.compare(position - 1, literal.size(), literal) == 0;
      FUZZ_CHECK(TextAt(text, position, literal) == expected);
    }
  }
  // Positions so large that adding to them wraps around: outside the text all the same.
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  for (std::size_t position : {kMax, kMax - 1, kMax - 3, kMax - text.size()}) {
    FUZZ_CHECK(HexByteAt(text, position) == 0);
    FUZZ_CHECK(HexWordAt(text, position) == 0);
    for (std::string_view literal : literals) FUZZ_CHECK(!TextAt(text, position, literal));
  }
  FUZZ_CHECK(IsHexText(text) ==
             std::all_of(text.begin(), text.end(), [](char c) { return DigitOf(c) >= 0; }));
}

void CheckEncodeHex(std::span<const std::uint8_t> bytes) {
  const std::string hex = EncodeHex(bytes);
  FUZZ_CHECK(hex.size() == 2 * bytes.size());
  FUZZ_CHECK(IsReceivedHexText(hex));
  for (std::size_t k = 0; k < bytes.size(); ++k) FUZZ_CHECK(HexByteAt(hex, 2 * k + 1) == bytes[k]);
  std::string appended = "A5";
  AppendHex(appended, bytes);
  FUZZ_CHECK(appended == "A5" + hex);
}

// A model whose every field differs from what any decode of a zero image gives, so a field
// the decode forgets to replace shows.
ParameterModel Scribbled() {
  ParameterModel m;
  for (ChannelParams& ch : m.channels) ch = {9, 9, 9, 999, 9, 9, 9, 9, 9};
  for (OutputParams& out : m.outputs) out = {9, 9, 9, 9, 9};
  for (BandParams& band : m.bands) band = {9, 1, 99, 99, 9};
  m.panel_locked = 9;
  return m;
}

// Decode, encode, decode: the same model, and the same text from the second encode.
void CheckImageRoundTrip(std::string_view text) {
  ParameterModel first;
  FUZZ_CHECK(DecodeParameterImage(text, first));
  FUZZ_CHECK(ModelInClamps(first));
  ParameterModel over_old = Scribbled();
  FUZZ_CHECK(DecodeParameterImage(text, over_old));
  FUZZ_CHECK(over_old == first);  // every decode replaces every parameter

  const std::string encoded = EncodeParameterImage(first);
  FUZZ_CHECK(encoded.size() == kImageTextLength && IsReceivedHexText(encoded));
  ParameterModel second;
  FUZZ_CHECK(DecodeParameterImage(encoded, second));
  // The encoder writes the editor's own image, which carries no lock state.
  ParameterModel expected = first;
  expected.panel_locked = 0;
  FUZZ_CHECK(second == expected);
  FUZZ_CHECK(EncodeParameterImage(second) == encoded);

  ParameterModel kept_lock = Scribbled();
  FUZZ_CHECK(DecodeParameterImage(text, kept_lock, DecodeOptions{.read_lock = false}));
  FUZZ_CHECK(kept_lock.panel_locked == 9);
}

void CheckImage(std::span<const std::uint8_t> input) {
  std::array<std::uint8_t, kImageFrameLength> frame{};
  std::copy_n(input.begin(), std::min(input.size(), frame.size()), frame.begin());
  CheckImageRoundTrip(EncodeHex(frame));
  // Text that no link produces (any character at all) still decodes to a model in range.
  const std::string_view raw(reinterpret_cast<const char*>(input.data()), input.size());
  if (raw.size() >= kImageTextLength) CheckImageRoundTrip(raw.substr(0, kImageTextLength));
  if (raw.size() != kImageTextLength) {
    ParameterModel untouched = Scribbled();
    FUZZ_CHECK(!DecodeParameterImage(raw, untouched));
    FUZZ_CHECK(untouched == Scribbled());
  }
}

Bytes NamesData(const std::array<std::string, 20>& names) {
  Bytes data(20 * kNameField, 0);
  for (std::size_t n = 0; n < names.size(); ++n) {
    std::copy_n(names[n].begin(), std::min(names[n].size(), kNameField),
                data.begin() + n * kNameField);
  }
  return data;
}

void CheckNames(std::span<const std::uint8_t> input) {
  std::array<std::uint8_t, kNamesFrameLength> frame{};
  std::copy_n(input.begin(), std::min(input.size(), frame.size()), frame.begin());
  const auto names = DecodePresetNames(std::span(frame).subspan(10));
  for (std::size_t n = 0; n < names.size(); ++n) {
    // The field's bytes up to its first zero byte.
    const auto field = std::span(frame).subspan(10 + n * kNameField, kNameField);
    const auto end = std::find(field.begin(), field.end(), 0);
    FUZZ_CHECK(names[n] == std::string(field.begin(), end));
  }
  FUZZ_CHECK(DecodePresetNames(NamesData(names)) == names);
  // Any data at all, also shorter than a names reply, is read inside its bounds.
  const auto raw = DecodePresetNames(input);
  for (const std::string& name : raw) FUZZ_CHECK(name.size() <= kNameField);
}

void CheckFrames(std::span<const std::uint8_t> input) {
  std::array<std::uint8_t, 5> head{};
  std::copy_n(input.begin(), std::min(input.size(), head.size()), head.begin());
  const auto [id, command, bank, object, index] = head;
  const auto data = input.subspan(std::min(input.size(), head.size()));
  const auto payload = data.first(std::min<std::size_t>(data.size(), 700));

  const Bytes frame = BuildFrame(id, command, bank, object, index, payload);
  FUZZ_CHECK(frame.size() == kFrameOverhead + payload.size());
  FUZZ_CHECK(frame[0] == kStartByte && frame[1] == kStartByte && frame[2] == kStartByte);
  FUZZ_CHECK(frame[3] == id && frame[4] == command && frame[5] == bank && frame[6] == object &&
             frame[7] == index);
  FUZZ_CHECK(frame[8] * 256u + frame[9] == payload.size());
  FUZZ_CHECK(std::equal(payload.begin(), payload.end(), frame.begin() + 10));
  std::uint8_t sum = 0;
  for (std::size_t i = 3; i + 2 < frame.size(); ++i) sum ^= frame[i];
  FUZZ_CHECK(frame[frame.size() - 2] == sum && frame.back() == kEndByte);
  FUZZ_CHECK(FrameIsSound(frame));
  const std::string hex = EncodeHex(frame);
  FUZZ_CHECK(TextAt(hex, 1, "A5A5A5") && HexWordAt(hex, 17) == payload.size());

  const auto as_bytes = [](const auto& array) { return Bytes(array.begin(), array.end()); };
  FUZZ_CHECK(as_bytes(BuildShortRequest(id, bank, object)) ==
             BuildFrame(id, kCmdRequest, bank, object, 0, {}));
  std::array<std::uint8_t, 8> eight{};
  std::copy_n(payload.begin(), std::min<std::size_t>(payload.size(), 8), eight.begin());
  FUZZ_CHECK(as_bytes(BuildWriteFrame(id, object, index, eight)) ==
             BuildFrame(id, kCmdWrite, 0, object, index, eight));
  FUZZ_CHECK(as_bytes(BuildSettingsRequest(id)) ==
             BuildFrame(id, kCmdRequest, 0, kObjDeviceSettings, 0, Bytes(8, 0)));
  // A name is cut to 19 bytes, so its field always ends in a zero byte.
  const std::string_view name(reinterpret_cast<const char*>(payload.data()),
                              std::min<std::size_t>(payload.size(), 30));
  Bytes field(kNameField, 0);
  std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 19), field.begin());
  FUZZ_CHECK(as_bytes(BuildNameWrite(id, bank, name)) ==
             BuildFrame(id, kCmdWrite, bank, kObjStorePreset, 0, field));
  std::array<std::uint8_t, kImageDataLength> image{};
  std::copy_n(payload.begin(), std::min(payload.size(), image.size()), image.begin());
  Bytes long_write = as_bytes(BuildLongWriteHeader(id, bank, object));
  const auto block = BuildLongWriteBlock(id, bank, object, image);
  long_write.insert(long_write.end(), block.begin(), block.end());
  FUZZ_CHECK(long_write == BuildFrame(id, kCmdWrite, bank, object, 0, image));

  const std::uint16_t word = static_cast<std::uint16_t>(id * 256 + bank);
  const auto [hi, lo] = WordToBytes(word);
  FUZZ_CHECK(hi == id && lo == bank);
}

}  // namespace
}  // namespace veltrane::fuzz

namespace veltrane::fuzz {
namespace {

// The frame reader with the editor's rules, the input in pieces whose sizes the input's
// first byte chooses: every frame it hands on is a whole, sound frame the processor can
// send, taken from the input as it came, and the same as when the input comes at once.
void CheckFrameReader(std::span<const std::uint8_t> input) {
  if (input.empty()) return;
  const std::size_t piece = 1 + input[0] % 16;
  input = input.subspan(1);
  std::vector<Bytes> in_pieces, at_once;
  const auto check = [&](std::vector<Bytes>& out) {
    return [&out, input](const Frame& f) {
      FUZZ_CHECK(f.bytes.size() == kFrameOverhead + f.data.size());
      FUZZ_CHECK(FrameIsSound(f.bytes) && StartsWithMarker(f.bytes));
      FUZZ_CHECK(f.command == kCmdAck || f.command == kCmdData);
      FUZZ_CHECK(f.data.size() <= kImageDataLength);
      FUZZ_CHECK(std::search(input.begin(), input.end(), f.bytes.begin(), f.bytes.end()) !=
                 input.end());
      out.emplace_back(f.bytes.begin(), f.bytes.end());
    };
  };
  FrameReader pieces(kProcessorFrames, check(in_pieces));
  for (std::size_t at = 0; at < input.size(); at += piece) {
    pieces.Feed(input.subspan(at, std::min(piece, input.size() - at)), 0);
  }
  FrameReader whole(kProcessorFrames, check(at_once));
  whole.Feed(input, 0);
  FUZZ_CHECK(in_pieces == at_once);
  FUZZ_CHECK(pieces.Empty() == whole.Empty());
}

}  // namespace
}  // namespace veltrane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrane::fuzz;
  const std::span<const std::uint8_t> input(data, size);
  CheckHexHelpers(std::string_view(reinterpret_cast<const char*>(data), size));
  CheckEncodeHex(input);
  CheckImage(input);
  CheckNames(input);
  CheckFrames(input);
  CheckFrameReader(input);
  return 0;
}
