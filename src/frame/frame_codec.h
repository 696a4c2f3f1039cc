#pragma once

// Frames on the wire: A5 A5 A5, DeviceId, command, Bank, ObjectCode, Index,
// Length (big-endian), data, XOR checksum over offsets 3..9+L, AA.
// Received bytes are handled as upper-case hex text, positions counted from 1.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrane {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kStartByte = 0xA5;
inline constexpr std::uint8_t kEndByte = 0xAA;
inline constexpr std::uint8_t kCmdWrite = 0xA1;
inline constexpr std::uint8_t kCmdRequest = 0xA2;
inline constexpr std::uint8_t kCmdAck = 0x51;
inline constexpr std::uint8_t kCmdData = 0x52;

// Object codes in use.
inline constexpr std::uint8_t kObjDeviceSettings = 0x21;
inline constexpr std::uint8_t kObjUnlock = 0x22;
inline constexpr std::uint8_t kObjLock = 0x23;
inline constexpr std::uint8_t kObjRefresh = 0x24;
inline constexpr std::uint8_t kObjPresetNames = 0x26;
inline constexpr std::uint8_t kObjStorePreset = 0x27;
inline constexpr std::uint8_t kObjImage = 0x28;
inline constexpr std::uint8_t kObjPresetImage = 0x29;
inline constexpr std::uint8_t kObjPoll = 0x2B;
inline constexpr std::uint8_t kObjIdentity = 0xA0;

inline constexpr std::size_t kFrameOverhead = 12;      // header 10 + checksum + end
inline constexpr std::size_t kImageDataLength = 552;   // data bytes of a parameter image
inline constexpr std::size_t kImageFrameLength = 564;  // whole image frame
inline constexpr std::size_t kImageTextLength = 1128;  // image frame as hex text
inline constexpr std::size_t kLongWriteBlockLength = 554;

using WriteFrame = std::array<std::uint8_t, 20>;
using ShortRequest = std::array<std::uint8_t, 12>;
using LongWriteHeader = std::array<std::uint8_t, 10>;
using LongWriteBlock = std::array<std::uint8_t, kLongWriteBlockLength>;

// XOR of frame[3..last_offset] inclusive. last_offset must be < frame.size().
std::uint8_t FrameChecksum(std::span<const std::uint8_t> frame, std::size_t last_offset);

// Complete frame of 12 + data.size() bytes.
Bytes BuildFrame(std::uint8_t device_id, std::uint8_t command, std::uint8_t bank,
                 std::uint8_t object_code, std::uint8_t index, std::span<const std::uint8_t> data);

// Short request (A2, L = 0): image, names, poll, preset recall, group record.
ShortRequest BuildShortRequest(std::uint8_t device_id, std::uint8_t bank, std::uint8_t object_code);

// 20-byte write frame (A1, Bank 0, L = 8).
WriteFrame BuildWriteFrame(std::uint8_t device_id, std::uint8_t object_code, std::uint8_t index,
                           const std::array<std::uint8_t, 8>& data);

// Settings request: A2, object 21, L = 8 with eight zero bytes.
WriteFrame BuildSettingsRequest(std::uint8_t device_id);

// Name write (store preset): A1, Bank = preset 1..20, object 27, L = 20. The name is cut to
// 19 bytes so the field always ends in a zero byte.
std::array<std::uint8_t, 32> BuildNameWrite(std::uint8_t device_id, std::uint8_t preset,
                                            std::string_view name);

// Long write: the ten header bytes alone, then the 554-byte block (data, checksum, AA).
LongWriteHeader BuildLongWriteHeader(std::uint8_t device_id, std::uint8_t bank,
                                     std::uint8_t object_code);
LongWriteBlock BuildLongWriteBlock(std::uint8_t device_id, std::uint8_t bank,
                                   std::uint8_t object_code,
                                   std::span<const std::uint8_t, kImageDataLength> data);

// Appends two upper-case hex digits per byte.
void AppendHex(std::string& text, std::span<const std::uint8_t> bytes);
std::string EncodeHex(std::span<const std::uint8_t> bytes);

// Value of one hex digit, or -1.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Byte whose two digits start at 1-based position. The caller has checked the length;
// a position past the end or a non-hex digit reads as 0 rather than out of bounds.
std::uint8_t HexByteAt(std::string_view text, std::size_t position);
// Unsigned 16-bit number from four digits at the 1-based position (high byte first).
std::uint16_t HexWordAt(std::string_view text, std::size_t position);
// True when text[position-1 .. position-1+literal.size()) equals literal.
bool TextAt(std::string_view text, std::size_t position, std::string_view literal);

// {high byte, low byte}.
constexpr std::pair<std::uint8_t, std::uint8_t> WordToBytes(std::uint16_t value) {
  return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)};
}

// True when every character pair from the start is a hex number (either case).
bool IsHexText(std::string_view text);

}  // namespace veltrane
