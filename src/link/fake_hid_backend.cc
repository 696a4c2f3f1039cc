#include "link/fake_hid_backend.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace veltrane {
namespace {

HidError NoDevice() { return {ENODEV, "No such device"}; }

}  // namespace

std::shared_ptr<FakeHidBackend::Device> FakeHidBackend::FindPresent(const std::string& path) const {
  for (const auto& device : devices_) {
    if (device->info.path == path) return device;
  }
  return nullptr;
}

void FakeHidBackend::Plug(const HidDeviceInfo& info, OutputHandler on_output) {
  auto device = std::make_shared<Device>();
  device->info = info;
  device->on_output = std::move(on_output);
  std::lock_guard lock(mutex_);
  devices_.push_back(std::move(device));
}

void FakeHidBackend::Unplug(const std::string& path) {
  {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(devices_.begin(), devices_.end(),
                                 [&](const auto& d) { return d->info.path == path; });
    if (it == devices_.end()) return;
    (*it)->present = false;
    (*it)->input.clear();
    devices_.erase(it);
  }
  input_ready_.notify_all();  // a waiting reader sees the device gone
}

void FakeHidBackend::PushInput(const std::string& path, std::span<const std::uint8_t> data) {
  {
    std::lock_guard lock(mutex_);
    const auto device = FindPresent(path);
    if (!device) return;
    std::array<std::uint8_t, kHidDataSize> report{};
    std::copy_n(data.begin(), std::min(data.size(), report.size()), report.begin());
    device->input.push_back(report);
  }
  input_ready_.notify_all();
}

void FakeHidBackend::FailWrites(const std::string& path, int count, HidError error) {
  std::lock_guard lock(mutex_);
  if (const auto device = FindPresent(path)) {
    device->failing_writes = count;
    device->write_error = std::move(error);
  }
}

void FakeHidBackend::FailNextRead(const std::string& path, HidError error) {
  {
    std::lock_guard lock(mutex_);
    if (const auto device = FindPresent(path)) {
      device->fail_read = true;
      device->read_error = std::move(error);
    }
  }
  input_ready_.notify_all();
}

std::size_t FakeHidBackend::PendingInput() const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const auto& device : devices_) n += device->input.size() + (device->fail_read ? 1 : 0);
  return n;
}

std::size_t FakeHidBackend::ReportsRead() const {
  std::lock_guard lock(mutex_);
  return reports_read_;
}

std::size_t FakeHidBackend::OpenHandles() const {
  std::lock_guard lock(mutex_);
  return handles_.size();
}

std::vector<HidDeviceInfo> FakeHidBackend::Enumerate() {
  std::lock_guard lock(mutex_);
  std::vector<HidDeviceInfo> out;
  for (const auto& device : devices_) out.push_back(device->info);
  return out;
}

HidHandle FakeHidBackend::Open(const std::string& path, HidError& error) {
  std::lock_guard lock(mutex_);
  auto device = FindPresent(path);
  if (!device) {
    error = NoDevice();
    return kNoHidHandle;
  }
  const HidHandle handle = ++last_handle_;
  handles_[handle] = std::move(device);
  return handle;
}

HidWriteResult FakeHidBackend::Write(HidHandle handle, const HidReport& report) {
  OutputHandler on_output;
  {
    std::lock_guard lock(mutex_);
    const auto it = handles_.find(handle);
    if (it == handles_.end() || !it->second->present) return {-1, NoDevice()};
    Device& device = *it->second;
    if (device.failing_writes > 0) {
      --device.failing_writes;
      return {-1, device.write_error};
    }
    on_output = device.on_output;
  }
  if (on_output) on_output(report);
  return {static_cast<int>(report.size()), {}};
}

HidReadResult FakeHidBackend::Read(HidHandle handle, int timeout_ms) {
  HidReadResult result;
  std::unique_lock lock(mutex_);
  const auto it = handles_.find(handle);
  if (it == handles_.end()) {
    result.status = HidReadResult::Status::kError;
    result.error = NoDevice();
    return result;
  }
  const std::shared_ptr<Device> device = it->second;
  const auto ready = [&] {
    return !device->present || device->fail_read || !device->input.empty();
  };
  input_ready_.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready);
  if (device->fail_read) {
    device->fail_read = false;
    result.status = HidReadResult::Status::kError;
    result.error = device->read_error;
    ++reports_read_;
  } else if (!device->input.empty()) {
    result.status = HidReadResult::Status::kData;
    result.data = device->input.front();
    device->input.pop_front();
    ++reports_read_;
  } else if (!device->present) {
    result.status = HidReadResult::Status::kError;
    result.error = NoDevice();
    ++reports_read_;
  }
  return result;
}

void FakeHidBackend::Close(HidHandle handle) {
  std::lock_guard lock(mutex_);
  handles_.erase(handle);
}

}  // namespace veltrane
