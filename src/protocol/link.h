#pragma once

// The core's view of the links. Every link carries bytes both ways: it takes whole frames
// to write and hands the bytes that arrived to a receiver (ByteReceiver) that its owner
// sets, on the window thread; the engine takes them in ProtocolEngine::OnBytes. What a
// transport does with the bytes (HID reports) stays inside the link.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace veltrane {

using ByteReceiver = std::function<void(std::span<const std::uint8_t>)>;

class ByteLink {
 public:
  virtual ~ByteLink() = default;
  // Write errors are not reported to the caller: the connection's time-outs notice them.
  virtual void Write(std::span<const std::uint8_t> bytes) = 0;
};

class SerialPort : public ByteLink {
 public:
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
};

}  // namespace veltrane
