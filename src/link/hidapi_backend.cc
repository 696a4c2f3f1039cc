#include <hidapi.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "link/hid_backend.h"

namespace veltrane {
namespace {

std::string ToUtf8(const wchar_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (; *text != L'\0'; ++text) {
    const auto c = static_cast<std::uint32_t>(*text);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

HidError ErrorOf(hid_device* device, int code) {
  std::string message = ToUtf8(hid_error(device));
  if (message.empty() || message == "Success") message = std::strerror(code);
  return {code, message};
}

class HidapiBackend : public HidBackend {
 public:
  HidapiBackend() : initialised_(hid_init() == 0) {}
  ~HidapiBackend() override {
    for (auto& [handle, pair] : devices_) {
      hid_close(pair.reader);
      hid_close(pair.writer);
    }
    if (initialised_) hid_exit();
  }

  std::vector<HidDeviceInfo> Enumerate() override {
    std::vector<HidDeviceInfo> out;
    if (!initialised_) return out;
    hid_device_info* list = hid_enumerate(0, 0);
    for (const hid_device_info* d = list; d != nullptr; d = d->next) {
      out.push_back({d->path != nullptr ? d->path : "", d->vendor_id, d->product_id,
                     ToUtf8(d->product_string), ToUtf8(d->serial_number)});
    }
    hid_free_enumeration(list);
    return out;
  }

  HidHandle Open(const std::string& path, HidError& error) override {
    if (!initialised_) {
      error = {ENODEV, "hidapi could not be initialised"};
      return kNoHidHandle;
    }
    // Two opens of the same device: the reader thread and the window thread each use their
    // own hid_device, so that hidapi's per-device state is never shared between threads.
    errno = 0;
    hid_device* reader = hid_open_path(path.c_str());
    if (reader == nullptr) {
      error = ErrorOf(nullptr, errno != 0 ? errno : ENODEV);
      return kNoHidHandle;
    }
    hid_device* writer = hid_open_path(path.c_str());
    if (writer == nullptr) {
      error = ErrorOf(nullptr, errno != 0 ? errno : ENODEV);
      hid_close(reader);
      return kNoHidHandle;
    }
    std::lock_guard lock(mutex_);
    const HidHandle handle = ++last_handle_;
    devices_[handle] = {reader, writer};
    return handle;
  }

  HidWriteResult Write(HidHandle handle, const HidReport& report) override {
    hid_device* device = Find(handle).writer;
    if (device == nullptr) return {-1, {ENODEV, std::strerror(ENODEV)}};
    errno = 0;
    const int written = hid_write(device, report.data(), report.size());
    if (written < 0) return {-1, ErrorOf(device, errno != 0 ? errno : EIO)};
    return {written, {}};
  }

  HidReadResult Read(HidHandle handle, int timeout_ms) override {
    HidReadResult result;
    hid_device* device = Find(handle).reader;
    if (device == nullptr) {
      result.status = HidReadResult::Status::kError;
      result.error = {ENODEV, std::strerror(ENODEV)};
      return result;
    }
    errno = 0;
    const int n = hid_read_timeout(device, result.data.data(), result.data.size(), timeout_ms);
    if (n < 0) {
      result.status = HidReadResult::Status::kError;
      result.error = ErrorOf(device, errno != 0 ? errno : EIO);
    } else if (n > 0) {
      result.status = HidReadResult::Status::kData;
    }
    return result;
  }

  void Close(HidHandle handle) override {
    Pair pair;
    {
      std::lock_guard lock(mutex_);
      const auto it = devices_.find(handle);
      if (it == devices_.end()) return;
      pair = it->second;
      devices_.erase(it);
    }
    hid_close(pair.reader);
    hid_close(pair.writer);
  }

 private:
  struct Pair {
    hid_device* reader = nullptr;
    hid_device* writer = nullptr;
  };

  Pair Find(HidHandle handle) {
    std::lock_guard lock(mutex_);
    const auto it = devices_.find(handle);
    return it == devices_.end() ? Pair{} : it->second;
  }

  const bool initialised_;
  std::mutex
      mutex_;  // guards devices_ and last_handle_ (Read looks handles up on the reader thread)
  std::map<HidHandle, Pair> devices_;
  HidHandle last_handle_ = kNoHidHandle;
};

}  // namespace

std::unique_ptr<HidBackend> CreateHidapiBackend() { return std::make_unique<HidapiBackend>(); }

}  // namespace veltrane
