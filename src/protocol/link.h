#pragma once

// The core's view of the two transports. Bytes and reports that arrive are pushed into
// the engine (ProtocolEngine::OnSerialBytes, OnHidReport) on the window thread.

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace veltrane {

inline constexpr std::size_t kHidReportSize = 65;  // report ID 0, then 64 bytes
inline constexpr std::size_t kHidDataSize = 64;
using HidReport = std::array<std::uint8_t, kHidReportSize>;

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // 9600 baud, 8 data bits, no parity, one stop bit. False when the port is missing,
  // held by another program or refuses the settings.
  virtual bool Open(const std::string& port_name) = 0;
  // After a failed Open: what the user can do about it (which group may open serial
  // ports), or empty when there is nothing to add, as for a missing port or one in use.
  virtual std::string OpenFailureNote() const { return {}; }
  // After a failed Open: the system's reason ("No such file or directory"), if known.
  virtual std::string OpenFailureReason() const { return {}; }
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Write errors are not reported to the caller: the connection's time-outs notice them.
  virtual void Write(std::span<const std::uint8_t> bytes) = 0;
};

// The processor's HID device (CurrentHidDevice) while it is present.
class HidPort {
 public:
  virtual ~HidPort() = default;
  // One blocking 65-byte output report; false on a failed write (which the link logs).
  virtual bool WriteReport(const HidReport& report) = 0;
};

}  // namespace veltrane
