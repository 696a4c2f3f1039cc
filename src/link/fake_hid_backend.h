#pragma once

// An in-process HID layer: devices are plugged in and out by calls, output reports go to a
// handler (a simulated processor), input reports are queued by calls from any thread.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "link/hid_backend.h"

namespace veltrane {

class FakeHidBackend : public HidBackend {
 public:
  // Runs on the writing thread, without the backend's lock held, so it may queue input.
  using OutputHandler = std::function<void(const HidReport&)>;

  // Appends a device to the enumeration; its path must be unique among present devices.
  void Plug(const HidDeviceInfo& info, OutputHandler on_output = {});
  // Removes it: open handles stay valid, their reads and writes fail with ENODEV.
  void Unplug(const std::string& path);
  // Queues one input report (64 data bytes, shorter input is padded with zeros).
  void PushInput(const std::string& path, std::span<const std::uint8_t> data);
  // The next `count` writes to the device fail with `error`.
  void FailWrites(const std::string& path, int count, HidError error);
  // The next read of the device fails with `error`.
  void FailNextRead(const std::string& path, HidError error);

  // Reports and failures queued but not yet read, summed over all devices.
  std::size_t PendingInput() const;
  // Reports and failures handed out by Read so far.
  std::size_t ReportsRead() const;
  // Handles open now.
  std::size_t OpenHandles() const;

  std::vector<HidDeviceInfo> Enumerate() override;
  HidHandle Open(const std::string& path, HidError& error) override;
  HidWriteResult Write(HidHandle handle, const HidReport& report) override;
  HidReadResult Read(HidHandle handle, int timeout_ms) override;
  void Close(HidHandle handle) override;

 private:
  struct Device {
    HidDeviceInfo info;
    OutputHandler on_output;
    bool present = true;
    std::deque<std::array<std::uint8_t, kHidDataSize>> input;
    int failing_writes = 0;
    HidError write_error;
    bool fail_read = false;
    HidError read_error;
  };

  std::shared_ptr<Device> FindPresent(const std::string& path) const;

  // Guards devices_, handles_, last_handle_ and every Device's fields: Read runs on the
  // link's reader thread, everything else on the window thread or a test's thread.
  mutable std::mutex mutex_;
  std::condition_variable input_ready_;
  std::vector<std::shared_ptr<Device>> devices_;  // present ones, in enumeration order
  std::map<HidHandle, std::shared_ptr<Device>> handles_;
  HidHandle last_handle_ = kNoHidHandle;
  std::size_t reports_read_ = 0;
};

}  // namespace veltrane
