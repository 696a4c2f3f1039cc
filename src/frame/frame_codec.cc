#include "frame/frame_codec.h"

#include <algorithm>

namespace veltrane {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The ten header bytes at the front of `f`, whatever holds the frame.
void WriteHeader(std::span<std::uint8_t> f, std::uint8_t device_id, std::uint8_t command,
                 std::uint8_t bank, std::uint8_t object_code, std::uint8_t index,
                 std::uint16_t length) {
  f[0] = f[1] = f[2] = kStartByte;
  f[3] = device_id;
  f[4] = command;
  f[5] = bank;
  f[6] = object_code;
  f[7] = index;
  const auto [hi, lo] = WordToBytes(length);
  f[8] = hi;
  f[9] = lo;
}

// The checksum and the end byte in the last two places of `f`.
void Seal(std::span<std::uint8_t> f) {
  f[f.size() - 2] = FrameChecksum(f, f.size() - 3);
  f[f.size() - 1] = kEndByte;
}

}  // namespace

std::uint8_t FrameChecksum(std::span<const std::uint8_t> frame, std::size_t last_offset) {
  std::uint8_t sum = 0;
  for (std::size_t i = 3; i <= last_offset && i < frame.size(); ++i) sum ^= frame[i];
  return sum;
}

Bytes BuildFrame(std::uint8_t device_id, std::uint8_t command, std::uint8_t bank,
                 std::uint8_t object_code, std::uint8_t index, std::span<const std::uint8_t> data) {
  Bytes f(kFrameOverhead + data.size());
  WriteHeader(f, device_id, command, bank, object_code, index,
              static_cast<std::uint16_t>(data.size()));
  std::copy(data.begin(), data.end(), f.begin() + 10);
  Seal(f);
  return f;
}

ShortRequest BuildShortRequest(std::uint8_t device_id, std::uint8_t bank,
                               std::uint8_t object_code) {
  ShortRequest f{};
  WriteHeader(f, device_id, kCmdRequest, bank, object_code, 0, 0);
  Seal(f);
  return f;
}

WriteFrame BuildWriteFrame(std::uint8_t device_id, std::uint8_t object_code, std::uint8_t index,
                           const std::array<std::uint8_t, 8>& data) {
  WriteFrame f{};
  WriteHeader(f, device_id, kCmdWrite, 0, object_code, index, 8);
  std::copy(data.begin(), data.end(), f.begin() + 10);
  Seal(f);
  return f;
}

WriteFrame BuildSettingsRequest(std::uint8_t device_id) {
  WriteFrame f{};
  WriteHeader(f, device_id, kCmdRequest, 0, kObjDeviceSettings, 0, 8);
  Seal(f);
  return f;
}

std::array<std::uint8_t, 32> BuildNameWrite(std::uint8_t device_id, std::uint8_t preset,
                                            std::string_view name) {
  std::array<std::uint8_t, 32> f{};
  WriteHeader(f, device_id, kCmdWrite, preset, kObjStorePreset, 0, 20);
  const std::size_t n = std::min<std::size_t>(name.size(), 19);
  for (std::size_t i = 0; i < n; ++i) f[10 + i] = static_cast<std::uint8_t>(name[i]);
  Seal(f);
  return f;
}

LongWriteHeader BuildLongWriteHeader(std::uint8_t device_id, std::uint8_t bank,
                                     std::uint8_t object_code) {
  LongWriteHeader f{};
  WriteHeader(f, device_id, kCmdWrite, bank, object_code, 0,
              static_cast<std::uint16_t>(kImageDataLength));
  return f;
}

LongWriteBlock BuildLongWriteBlock(std::uint8_t device_id, std::uint8_t bank,
                                   std::uint8_t object_code,
                                   std::span<const std::uint8_t, kImageDataLength> data) {
  LongWriteBlock block{};
  const LongWriteHeader header = BuildLongWriteHeader(device_id, bank, object_code);
  std::uint8_t sum = FrameChecksum(header, header.size() - 1);
  for (std::size_t i = 0; i < kImageDataLength; ++i) {
    block[i] = data[i];
    sum ^= data[i];
  }
  block[kImageDataLength] = sum;
  block[kImageDataLength + 1] = kEndByte;
  return block;
}

void AppendHex(std::string& text, std::span<const std::uint8_t> bytes) {
  const std::size_t start = text.size();
  text.resize(start + 2 * bytes.size());
  char* out = text.data() + start;
  for (std::uint8_t b : bytes) {
    *out++ = kHexDigits[b >> 4];
    *out++ = kHexDigits[b & 0x0F];
  }
}

std::string EncodeHex(std::span<const std::uint8_t> bytes) {
  std::string text;
  AppendHex(text, bytes);
  return text;
}

// The position comes from peer data: the checks never add to it, so a position near the
// largest size_t cannot wrap round to one inside the text.
std::uint8_t HexByteAt(std::string_view text, std::size_t position) {
  if (position == 0 || position >= text.size()) return 0;
  const int hi = HexDigitValue(text[position - 1]);
  const int lo = HexDigitValue(text[position]);
  if (hi < 0 || lo < 0) return 0;
  return static_cast<std::uint8_t>(hi * 16 + lo);
}

std::uint16_t HexWordAt(std::string_view text, std::size_t position) {
  if (position >= text.size()) return 0;
  return static_cast<std::uint16_t>(HexByteAt(text, position) * 256 +
                                    HexByteAt(text, position + 2));
}

bool TextAt(std::string_view text, std::size_t position, std::string_view literal) {
  if (position == 0 || position - 1 > text.size() ||
      literal.size() > text.size() - (position - 1)) {
    return false;
  }
  return text.substr(position - 1, literal.size()) == literal;
}

bool IsHexText(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return HexDigitValue(c) >= 0; });
}

}  // namespace veltrane
