#include "link/hid_link.h"

#include <QMetaObject>
#include <algorithm>

#include "link/hid_history.h"
#include "protocol/engine.h"

namespace veltrane {
namespace {

// How long one read waits before the reader looks at its stop flag again; bounds how long
// stopping input takes.
constexpr int kReadTimeoutMs = 50;

bool Contains(const std::vector<HidDeviceInfo>& list, const HidDeviceInfo& info) {
  return std::find(list.begin(), list.end(), info) != list.end();
}

}  // namespace

HidLink::HidLink(HidBackend& backend, TimerHost& timers, HidLinkView& view)
    : backend_(backend), timers_(timers), view_(view) {
  poll_timer_ = timers_.CreateTimer("hidpoll", kHidPollIntervalMs, [this] { PollDevices(); });
}

HidLink::~HidLink() { Stop(); }

void HidLink::AttachEngine(ProtocolEngine* engine) {
  engine_ = engine;
  if (engine_ == nullptr) return;
  SetReceiver([engine](std::span<const std::uint8_t> bytes) { engine->OnBytes(bytes); });
  engine_->SetDeviceLink(HidMode() ? this : nullptr);
}

void HidLink::Start() {
  poll_timer_->Start();
  timers_.Defer(0, [this] {
    if (poll_timer_->Running()) PollDevices();
  });
}

void HidLink::Stop() {
  poll_timer_->Stop();
  ReleaseCurrent();
}

bool HidLink::EngineConnected() const { return engine_ != nullptr && engine_->Connected(); }

void HidLink::PollDevices() {
  std::vector<HidDeviceInfo> now = backend_.Enumerate();
  const bool first = !looked_;
  looked_ = true;
  // After a failed read the device is taken again even if the list looks the same: it may
  // have gone and come back between two looks, leaving its old handle dead.
  if (!first && now == present_ && !input_failed_) return;
  const std::vector<HidDeviceInfo> before = std::move(present_);
  present_ = now;
  // The order the HID layer promises: removals, arrivals, then one general change.
  for (const HidDeviceInfo& info : before) {
    if (!Contains(now, info)) OnRemoval(info);
  }
  for (const HidDeviceInfo& info : now) {
    if (!Contains(before, info)) OnArrival(info);
  }
  DevicesChanged();
}

void HidLink::OnArrival(const HidDeviceInfo& info) {
  view_.AddHistoryLine("Arrival of " + DeviceName(info));
  if (!IsProcessorModel(info)) return;
  view_.SetStatusText(kHidArrivedText);
  if (!EngineConnected()) {
    // The next connection will run over HID.
    DevicesChanged();
    view_.SetPortListsEnabled(false);
  }
}

void HidLink::OnRemoval(const HidDeviceInfo& info) {
  view_.AddHistoryLine("Removal of " + DeviceName(info));
  if (!IsProcessorModel(info)) return;
  view_.SetStatusText(kHidRemovedText);
  view_.SetPortListsEnabled(true);
}

void HidLink::DevicesChanged() {
  ReleaseCurrent();
  devices_ = present_;
  std::vector<std::string> names;
  names.reserve(devices_.size());
  for (const HidDeviceInfo& info : devices_) names.push_back(DeviceName(info));
  view_.SetDeviceList(names);

  const int index = FindProcessor(names);
  if (index >= 0) {
    HidError error;
    current_handle_ = backend_.Open(devices_[index].path, error);
    if (current_handle_ == kNoHidHandle) {
      // Not usable (permissions, gone meanwhile): connections run over the serial port.
      view_.AddHistoryLine(FormatReadError(error));
    } else {
      current_index_ = index;
      StartInput();
    }
  }
  if (engine_ != nullptr) engine_->SetDeviceLink(HidMode() ? this : nullptr);
}

void HidLink::ReleaseCurrent() {
  StopInput();
  if (current_handle_ != kNoHidHandle) backend_.Close(current_handle_);
  current_handle_ = kNoHidHandle;
  current_index_ = -1;
  input_failed_ = false;
  assembler_.Reset();  // a reply half put together from the old device ends with it
  if (engine_ != nullptr) engine_->SetDeviceLink(nullptr);
}

void HidLink::Write(std::span<const std::uint8_t> bytes) {
  WriteOutputReports(bytes, [this](const HidReport& report) { return WriteReport(report); });
}

bool HidLink::WriteReport(const HidReport& report) {
  if (current_handle_ == kNoHidHandle) return false;
  const HidWriteResult result = backend_.Write(current_handle_, report);
  if (result.written < 0) {
    view_.AddHistoryLine(FormatWriteError(result.error));
    return false;
  }
  const std::size_t written = std::min<std::size_t>(result.written, report.size());
  view_.AddHistoryLine(FormatWriteLine(std::span(report.data(), written)));
  return true;
}

void HidLink::StartInput() {
  StopInput();
  stop_ = false;
  input_failed_ = false;
  const std::uint64_t generation = ++generation_;
  const HidHandle handle = current_handle_;
  reader_ = std::thread([this, handle, generation] { ReaderLoop(handle, generation); });
}

void HidLink::StopInput() {
  ++generation_;  // results already queued by the old reader are dropped
  if (!reader_.joinable()) return;
  stop_ = true;
  reader_.join();
}

void HidLink::ReaderLoop(HidHandle handle, std::uint64_t generation) {
  while (!stop_) {
    const HidReadResult result = backend_.Read(handle, kReadTimeoutMs);
    if (result.status == HidReadResult::Status::kTimeout) continue;
    QMetaObject::invokeMethod(
        &context_, [this, generation, result] { OnReaderResult(generation, result); },
        Qt::QueuedConnection);
    // A failed read ends delivery: a device that went keeps failing. The next look at the
    // devices takes the device again if it is still listed.
    if (result.status == HidReadResult::Status::kError) return;
  }
}

void HidLink::OnReaderResult(std::uint64_t generation, const HidReadResult& result) {
  ++reports_received_;
  if (generation != generation_) return;
  if (result.status == HidReadResult::Status::kError) {
    view_.AddHistoryLine(FormatReadError(result.error));
    input_failed_ = true;
    return;
  }
  const std::span<const std::uint8_t> reply = assembler_.Add(result.data);
  if (!reply.empty() && receiver_) receiver_(reply);
}

}  // namespace veltrane
