#pragma once

// The byte formats the fuzz targets read, and writers for them that the seed generator
// uses. A script is a run of one-byte operations, some followed by their bytes; an input
// that ends early just ends the script, so every byte string is a valid script.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace veltrane::fuzz {

// --- Engine scripts (serial and HID receive paths) ----------------------------------
// 00..7F  serial: a chunk of that many bytes; HID: one input report of the next 64 bytes
// 80..9F  advance (op - 80) x 5 ms
// A0..BF  advance (op - A0) x 100 ms
// C0..C7  click the connect button
// C8      the serial port's next opens fail / succeed again
// C9      a file save asks for the next image / stops asking
// CA      a preset load awaits the next image / stops waiting
// CB      a 20-group backup starts / stops collecting records
// CC      DeviceId = the next byte
// CD      HID target: unplug / plug the processor's HID device
// CE..CF  click the connect button
// D0..FF  advance (op - CF) ms
namespace engine_op {
inline constexpr std::uint8_t kMaxChunk = 0x7F;
inline constexpr std::uint8_t kAdvance5 = 0x80;
inline constexpr std::uint8_t kAdvance100 = 0xA0;
inline constexpr std::uint8_t kClick = 0xC0;
inline constexpr std::uint8_t kToggleOpenFails = 0xC8;
inline constexpr std::uint8_t kToggleFileSave = 0xC9;
inline constexpr std::uint8_t kTogglePresetLoad = 0xCA;
inline constexpr std::uint8_t kToggleBackup = 0xCB;
inline constexpr std::uint8_t kSetDeviceId = 0xCC;
inline constexpr std::uint8_t kToggleHidPlug = 0xCD;
inline constexpr std::uint8_t kAdvance1 = 0xD0;  // 1 ms; up to FF, 48 ms
}  // namespace engine_op

// --- Simulator reader scripts ---------------------------------------------------------
// byte 0  the simulator's misbehaviour (SimReaderOption bits)
// 00..7F  serial: a chunk of that many bytes
// 80..BF  HID: one output report, the next 64 bytes after the report ID 0
// C0..DF  advance (op - C0) x 50 ms
// E0..FF  advance (op - DF) ms
namespace sim_op {
inline constexpr std::uint8_t kHidReport = 0x80;
inline constexpr std::uint8_t kAdvance50 = 0xC0;
inline constexpr std::uint8_t kAdvance1 = 0xE0;  // 1 ms; up to FF, 32 ms
}  // namespace sim_op
enum SimReaderOption : std::uint8_t {
  kSimIdentityFirst = 1,
  kSimLongPoll = 2,
  kSimMerge = 4,
  kSimSplit = 8,
  kSimPacing = 16,
  kSimLate = 32,
  kSimNoise = 64,
  kSimLocked = 128,
};

// --- Dispatch scripts (the differential target) ---------------------------------------
// byte 0  DispatchFlag bits: the state the engine is in when the passes begin
// byte 1  DeviceId
// then passes: two bytes (big-endian): the top bit set when what was waiting for the rest
// of a frame is dropped first (as an operation does), clear for bytes that simply arrive;
// the other 15 bits the number n of bytes that follow
enum DispatchFlag : std::uint8_t {
  kDispatchConnected = 1,   // a connection is open (over HID when kDispatchHid is set)
  kDispatchHid = 2,         // the processor's HID device is present
  kDispatchFileSave = 4,    // a file save waits for the next image
  kDispatchPresetLoad = 8,  // a preset load waits for the next image
  kDispatchBackup = 16,     // a 20-group backup collects records
};

// Reads a script; past the end every read is empty.
class ScriptReader {
 public:
  explicit ScriptReader(std::span<const std::uint8_t> data) : data_(data) {}
  bool Done() const { return pos_ >= data_.size(); }
  std::uint8_t Byte() { return Done() ? 0 : data_[pos_++]; }
  std::span<const std::uint8_t> Take(std::size_t n) {
    n = std::min(n, data_.size() - pos_);
    const auto out = data_.subspan(pos_, n);
    pos_ += n;
    return out;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

class EngineScriptWriter {
 public:
  void Op(std::uint8_t op) { out_.push_back(op); }
  void Click() { Op(engine_op::kClick); }
  void Advance(std::int64_t ms) {
    while (ms >= 100) {
      const auto n = static_cast<std::uint8_t>(std::min<std::int64_t>(ms / 100, 31));
      Op(engine_op::kAdvance100 + n);
      ms -= 100 * n;
    }
    if (ms >= 5) {
      Op(static_cast<std::uint8_t>(engine_op::kAdvance5 + ms / 5));
      ms %= 5;
    }
    if (ms > 0) Op(static_cast<std::uint8_t>(engine_op::kAdvance1 + ms - 1));
  }
  // Serial bytes as they arrived in one read, cut into chunks the format can carry.
  void Serial(std::span<const std::uint8_t> bytes) {
    do {
      const std::size_t n = std::min<std::size_t>(bytes.size(), engine_op::kMaxChunk);
      Op(static_cast<std::uint8_t>(n));
      out_.insert(out_.end(), bytes.begin(), bytes.begin() + n);
      bytes = bytes.subspan(n);
    } while (!bytes.empty());
  }
  void HidReport(std::span<const std::uint8_t> report) {
    Op(0);
    out_.insert(out_.end(), report.begin(), report.end());
  }
  const std::vector<std::uint8_t>& bytes() const { return out_; }

 private:
  std::vector<std::uint8_t> out_;
};

class SimScriptWriter {
 public:
  explicit SimScriptWriter(std::uint8_t options) { out_.push_back(options); }
  void Advance(std::int64_t ms) {
    while (ms >= 50) {
      const auto n = static_cast<std::uint8_t>(std::min<std::int64_t>(ms / 50, 31));
      out_.push_back(sim_op::kAdvance50 + n);
      ms -= 50 * n;
    }
    while (ms > 0) {
      const auto n = static_cast<std::uint8_t>(std::min<std::int64_t>(ms, 32));
      out_.push_back(sim_op::kAdvance1 + n - 1);
      ms -= n;
    }
  }
  void Serial(std::span<const std::uint8_t> bytes) {
    do {
      const std::size_t n = std::min<std::size_t>(bytes.size(), sim_op::kHidReport - 1);
      out_.push_back(static_cast<std::uint8_t>(n));
      out_.insert(out_.end(), bytes.begin(), bytes.begin() + n);
      bytes = bytes.subspan(n);
    } while (!bytes.empty());
  }
  // The 64 bytes after the report ID.
  void HidReport(std::span<const std::uint8_t> data) {
    out_.push_back(sim_op::kHidReport);
    out_.insert(out_.end(), data.begin(), data.end());
  }
  const std::vector<std::uint8_t>& bytes() const { return out_; }

 private:
  std::vector<std::uint8_t> out_;
};

class DispatchScriptWriter {
 public:
  inline static constexpr std::uint16_t kReplace = 0x8000;
  inline static constexpr std::uint16_t kLengthMask = 0x7FFF;

  DispatchScriptWriter(std::uint8_t flags, std::uint8_t device_id) {
    out_.push_back(flags);
    out_.push_back(device_id);
  }
  void Pass(std::span<const std::uint8_t> bytes, bool replace = false) {
    out_.push_back(static_cast<std::uint8_t>((bytes.size() >> 8) | (replace ? 0x80 : 0)));
    out_.push_back(static_cast<std::uint8_t>(bytes.size() & 0xFF));
    out_.insert(out_.end(), bytes.begin(), bytes.end());
  }
  const std::vector<std::uint8_t>& bytes() const { return out_; }

 private:
  std::vector<std::uint8_t> out_;
};

}  // namespace veltrane::fuzz
