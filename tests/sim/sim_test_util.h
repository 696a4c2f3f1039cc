#pragma once

// A simulator on a virtual clock with both sinks recorded.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "frame/frame_codec.h"
#include "protocol/virtual_clock.h"
#include "sim/simulator.h"

namespace veltrane::test {

struct Chunk {
  std::int64_t time_ms = 0;
  Bytes bytes;
};

class SimFixture : public ::testing::Test {
 protected:
  void SetUp() override { Make(); }

  void Make(SimOptions options = {}) {
    sim_ = std::make_unique<Simulator>(clock_, std::move(options));
    serial_.clear();
    hid_.clear();
    sim_->SetSerialSink([this](std::span<const std::uint8_t> bytes) {
      serial_.push_back({clock_.NowMs(), Bytes(bytes.begin(), bytes.end())});
    });
    sim_->SetHidSink([this](std::span<const std::uint8_t> bytes) {
      ASSERT_EQ(bytes.size(), kHidDataSize);
      SimHidReport report{};
      std::copy(bytes.begin(), bytes.end(), report.begin());
      hid_.push_back(report);
    });
  }

  void Send(std::span<const std::uint8_t> bytes) { sim_->OnSerialBytes(bytes); }
  void Request(std::uint8_t bank, std::uint8_t object_code, std::uint8_t device_id = 0) {
    Send(BuildShortRequest(device_id, bank, object_code));
  }
  // Everything the serial sink received, joined, and forgotten.
  Bytes TakeSerial() {
    Bytes all;
    for (const Chunk& c : serial_) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
    serial_.clear();
    return all;
  }
  std::vector<std::size_t> ChunkSizes() const {
    std::vector<std::size_t> sizes;
    for (const Chunk& c : serial_) sizes.push_back(c.bytes.size());
    return sizes;
  }

  VirtualClock clock_;
  std::unique_ptr<Simulator> sim_;
  std::vector<Chunk> serial_;
  std::vector<SimHidReport> hid_;
};

// A 65-byte output report carrying `bytes` after the report ID 0, the rest `filler`.
inline HidReport OutputReport(std::span<const std::uint8_t> bytes, std::uint8_t filler = 0) {
  HidReport report{};
  report.fill(filler);
  report[0] = 0;
  std::copy_n(bytes.begin(), std::min(bytes.size(), kHidDataSize), report.begin() + 1);
  return report;
}

}  // namespace veltrane::test
