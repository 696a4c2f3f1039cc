#include "sim/sim_line.h"

#include <charconv>

namespace veltrane {

SimLine::SimLine(TimerHost& host, const std::vector<int>& device_numbers, const SimOptions& options)
    : host_(host), pending_(device_numbers.size()) {
  for (std::size_t i = 0; i < device_numbers.size(); ++i) {
    SimOptions own = options;
    own.device_number = static_cast<std::uint8_t>(device_numbers[i]);
    devices_.push_back(std::make_unique<Simulator>(host_, own));
    devices_.back()->SetSerialSink(
        [this, i](std::span<const std::uint8_t> bytes) { Collect(i, bytes); });
  }
}

SimLine::~SimLine() {
  for (auto& device : devices_) device->SetSerialSink(nullptr);
}

void SimLine::OnSerialBytes(std::span<const std::uint8_t> bytes) {
  for (auto& device : devices_) device->OnSerialBytes(bytes);
}

void SimLine::SetLate(int device_number, int late_ms) {
  for (auto& device : devices_) {
    if (device->Settings().device_number == device_number) device->options().late_ms = late_ms;
  }
}

// What the devices send during one turn of the clock goes out together at its end.
void SimLine::Collect(std::size_t device, std::span<const std::uint8_t> bytes) {
  pending_[device].insert(pending_[device].end(), bytes.begin(), bytes.end());
  if (flush_due_) return;
  flush_due_ = true;
  host_.Defer(0, [this, alive = std::weak_ptr<bool>(alive_)] {
    if (!alive.expired()) Flush();
  });
}

void SimLine::Flush() {
  flush_due_ = false;
  Bytes line;
  std::size_t longest = 0;
  for (const Bytes& p : pending_) longest = std::max(longest, p.size());
  // One byte from each talker in turn: a lone talker's bytes pass unchanged.
  for (std::size_t k = 0; k < longest; ++k) {
    for (const Bytes& p : pending_) {
      if (k < p.size()) line.push_back(p[k]);
    }
  }
  for (Bytes& p : pending_) p.clear();
  if (sink_ && !line.empty()) sink_(line);
}

std::vector<int> ParseDeviceNumbers(std::string_view text) {
  std::vector<int> numbers;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    int n = 0;
    const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), n);
    if (ec != std::errc() || end != item.data() + item.size() || n < 1 || n > 255) return {};
    numbers.push_back(n);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
    if (text.empty()) return {};
  }
  return numbers;
}

std::optional<DeviceLateness> ParseDeviceLateness(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  DeviceLateness late;
  const std::string_view number = text.substr(0, colon);
  const std::string_view ms = text.substr(colon + 1);
  const auto [n_end, n_ec] =
      std::from_chars(number.data(), number.data() + number.size(), late.device_number);
  const auto [ms_end, ms_ec] = std::from_chars(ms.data(), ms.data() + ms.size(), late.late_ms);
  if (n_ec != std::errc() || n_end != number.data() + number.size() || ms_ec != std::errc() ||
      ms_end != ms.data() + ms.size() || late.device_number < 1 || late.device_number > 255 ||
      late.late_ms < 0 || late.late_ms > 60000) {
    return std::nullopt;
  }
  return late;
}

}  // namespace veltrane
