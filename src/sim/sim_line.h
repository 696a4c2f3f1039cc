#pragma once

// Several processors on one serial line, as on an RS-485 run through a rack: every frame
// reaches all of them, each acts on and answers only its own address, and answers that
// leave at the same moment collide. Two transmitters talking at once garble each other;
// here their bytes interleave, which no reader can take for a frame.

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "sim/simulator.h"

namespace veltrane {

class SimLine : public SimSerialEndpoint {
 public:
  // One processor per device number (a number may repeat); each starts from `options`
  // with its own number, and with demo content of its own when asked.
  SimLine(TimerHost& host, const std::vector<int>& device_numbers, const SimOptions& options);
  ~SimLine() override;
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;

  void OnSerialBytes(std::span<const std::uint8_t> bytes) override;
  void SetSerialSink(Sink sink) override { sink_ = std::move(sink); }

  // Every processor with this device number sends its replies late_ms later.
  void SetLate(int device_number, int late_ms);

  std::size_t size() const { return devices_.size(); }
  Simulator& Device(std::size_t i) { return *devices_[i]; }
  const Simulator& Device(std::size_t i) const { return *devices_[i]; }

 private:
  void Collect(std::size_t device, std::span<const std::uint8_t> bytes);
  void Flush();

  TimerHost& host_;
  std::vector<std::unique_ptr<Simulator>> devices_;
  std::vector<Bytes> pending_;  // what each device put on the line this turn
  bool flush_due_ = false;
  Sink sink_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// "1,2,5" as device numbers 1..255; empty on a malformed list.
std::vector<int> ParseDeviceNumbers(std::string_view text);

struct DeviceLateness {
  int device_number = 0;
  int late_ms = 0;
};
// "N:MS" as device number 1..255 and 0..60000 ms; none when malformed.
std::optional<DeviceLateness> ParseDeviceLateness(std::string_view text);

}  // namespace veltrane
