#include "sim/sim_link.h"

namespace veltrane {

SimSerialPort::SimSerialPort(TimerHost& host, SimSerialEndpoint& simulator)
    : host_(host), simulator_(simulator) {
  simulator_.SetSerialSink([this](std::span<const std::uint8_t> bytes) { Deliver(bytes); });
}

SimSerialPort::~SimSerialPort() { simulator_.SetSerialSink(nullptr); }

bool SimSerialPort::Open(const std::string& port_name) {
  if (open_fails_) return false;
  open_ = true;
  port_name_ = port_name;
  ++open_count_;
  ++session_;
  return true;
}

void SimSerialPort::Close() {
  open_ = false;
  ++session_;
}

void SimSerialPort::Write(std::span<const std::uint8_t> bytes) {
  if (!open_) return;
  sent_.push_back({host_.NowMs(), Bytes(bytes.begin(), bytes.end())});
  simulator_.OnSerialBytes(bytes);
}

void SimSerialPort::Deliver(std::span<const std::uint8_t> bytes) {
  if (!open_) return;  // nobody reads a closed port; the bytes are lost
  host_.Defer(0, [this, alive = std::weak_ptr<bool>(alive_), session = session_,
                  copy = Bytes(bytes.begin(), bytes.end())] {
    if (alive.expired() || !open_ || session != session_ || !receiver_) return;
    receiver_(copy);
  });
}

SimHidPort::SimHidPort(TimerHost& host, Simulator& simulator) : host_(host), simulator_(simulator) {
  simulator_.SetHidSink([this](std::span<const std::uint8_t> report) {
    if (!plugged_) return;
    host_.Defer(
        0, [this, alive = std::weak_ptr<bool>(alive_), copy = Bytes(report.begin(), report.end())] {
          if (alive.expired() || !plugged_) return;
          const std::span<const std::uint8_t> reply = assembler_.Add(copy);
          if (!reply.empty() && receiver_) receiver_(reply);
        });
  });
}

SimHidPort::~SimHidPort() { simulator_.SetHidSink(nullptr); }

void SimHidPort::Write(std::span<const std::uint8_t> bytes) {
  WriteOutputReports(bytes, [this](const HidReport& report) { return WriteReport(report); });
}

bool SimHidPort::WriteReport(const HidReport& report) {
  ++write_attempts_;
  if (!plugged_ || write_attempts_ == fail_write_number_) return false;
  sent_.push_back({host_.NowMs(), Bytes(report.begin(), report.end())});
  simulator_.OnHidReport(report);
  return true;
}

}  // namespace veltrane
