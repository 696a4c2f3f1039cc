#pragma once

// The HID layer the link needs: enumeration, open, blocking 65-byte writes, reads with a
// time-out, close. hidapi implements it on the machine; FakeHidBackend in tests and demos.
//
// Threads: Enumerate, Open, Write and Close run on the window thread; Read runs on the
// link's reader thread while the window thread may write to the same handle. A handle is
// closed only after its reader has ended.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/hid_reports.h"

namespace veltrane {

struct HidDeviceInfo {
  std::string path;  // identifies the device while it is present
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::string product;  // UTF-8, may be empty
  std::string serial;   // UTF-8, may be empty

  bool operator==(const HidDeviceInfo&) const = default;
};

struct HidError {
  int code = 0;  // the system's error code
  std::string message;
};

using HidHandle = std::int64_t;
inline constexpr HidHandle kNoHidHandle = 0;

struct HidWriteResult {
  int written = -1;  // bytes written, report ID included; -1 on failure
  HidError error;
};

struct HidReadResult {
  enum class Status { kData, kTimeout, kError };
  Status status = Status::kTimeout;
  std::array<std::uint8_t, kHidDataSize> data{};  // the report without its ID
  HidError error;
};

class HidBackend {
 public:
  virtual ~HidBackend() = default;
  virtual std::vector<HidDeviceInfo> Enumerate() = 0;
  // kNoHidHandle on failure, with the reason in `error`.
  virtual HidHandle Open(const std::string& path, HidError& error) = 0;
  virtual HidWriteResult Write(HidHandle handle, const HidReport& report) = 0;
  virtual HidReadResult Read(HidHandle handle, int timeout_ms) = 0;
  virtual void Close(HidHandle handle) = 0;
};

// hidapi on the hidraw backend.
std::unique_ptr<HidBackend> CreateHidapiBackend();

}  // namespace veltrane
