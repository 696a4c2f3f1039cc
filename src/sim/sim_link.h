#pragma once

// In-process links between an editor and a Simulator. They record what the editor writes
// with its (virtual) time and hand the simulator's replies to a receiver one turn of the
// clock later, as a real port's reader would, never from inside the editor's own Write.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "frame/frame_codec.h"
#include "frame/hid_reports.h"
#include "protocol/link.h"
#include "protocol/timer.h"
#include "sim/simulator.h"

namespace veltrane {

struct SentFrame {
  std::int64_t time_ms = 0;
  Bytes bytes;
};

class SimSerialPort : public SerialPort {
 public:
  using Receiver = std::function<void(std::span<const std::uint8_t>)>;

  // Takes the simulator's (or the line's) serial sink for as long as the port exists.
  SimSerialPort(TimerHost& host, SimSerialEndpoint& simulator);
  ~SimSerialPort() override;
  SimSerialPort(const SimSerialPort&) = delete;
  SimSerialPort& operator=(const SimSerialPort&) = delete;

  bool Open(const std::string& port_name) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  void Write(std::span<const std::uint8_t> bytes) override;

  // The next opens fail, as for a missing port or one held by another program.
  void SetOpenFails(bool fails) { open_fails_ = fails; }
  // Where replies go (the editor wires ProtocolEngine::OnBytes here).
  void SetReceiver(Receiver receiver) { receiver_ = std::move(receiver); }

  // Every write while open, in order.
  const std::vector<SentFrame>& sent() const { return sent_; }
  void ClearSent() { sent_.clear(); }
  const std::string& port_name() const { return port_name_; }
  int open_count() const { return open_count_; }

 private:
  void Deliver(std::span<const std::uint8_t> bytes);

  TimerHost& host_;
  SimSerialEndpoint& simulator_;
  Receiver receiver_;
  std::vector<SentFrame> sent_;
  std::string port_name_;
  bool open_ = false;
  bool open_fails_ = false;
  int open_count_ = 0;
  // Bumped by every open and close, so bytes on their way when the port closed are not
  // delivered into a later session.
  std::uint64_t session_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The processor on USB, in process: frames go out as output reports, replies come back
// as input reports and are put together here, as the HID link does.
class SimHidPort : public ByteLink {
 public:
  using Receiver = std::function<void(std::span<const std::uint8_t>)>;

  // Takes the simulator's HID sink for as long as the port exists.
  SimHidPort(TimerHost& host, Simulator& simulator);
  ~SimHidPort() override;
  SimHidPort(const SimHidPort&) = delete;
  SimHidPort& operator=(const SimHidPort&) = delete;

  // A frame as 64-byte reports, stopped by the first report that fails.
  void Write(std::span<const std::uint8_t> bytes) override;
  // Reports that were written reach the simulator; a failed one does not.
  bool WriteReport(const HidReport& report);

  // Write attempt number n (counting from 1, over the port's life) fails; 0: none.
  void FailWriteNumber(int n) { fail_write_number_ = n; }
  // The bytes of each whole reply (the editor wires ProtocolEngine::OnBytes here).
  void SetReceiver(Receiver receiver) { receiver_ = std::move(receiver); }
  // An unplugged device delivers nothing more.
  void SetPlugged(bool plugged) { plugged_ = plugged; }

  // Every report written successfully (65 bytes each), in order.
  const std::vector<SentFrame>& sent() const { return sent_; }
  void ClearSent() { sent_.clear(); }
  int write_attempts() const { return write_attempts_; }

 private:
  TimerHost& host_;
  Simulator& simulator_;
  Receiver receiver_;
  HidReplyAssembler assembler_;
  std::vector<SentFrame> sent_;
  int fail_write_number_ = 0;
  int write_attempts_ = 0;
  bool plugged_ = true;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace veltrane
