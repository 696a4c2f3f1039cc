#pragma once

// An engine on a virtual clock with a view that records what it showed and a serial port
// that records every frame with its send time.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hex_util.h"
#include "model/parameter_model.h"
#include "protocol/engine.h"
#include "protocol/virtual_clock.h"
#include "sim/sim_link.h"  // SentFrame

namespace veltrane::test {

class RecordingView : public ConnectionView {
 public:
  void ShowMessage(std::string_view text) override {
    messages.emplace_back(text);
    message_times.push_back(clock_ != nullptr ? clock_->NowMs() : 0);
  }
  void SetConnectCaption(std::string_view caption) override { this->caption = caption; }
  void SetLamp(bool connected) override { lamp_green = connected; }
  void ShowConnectingBox(bool shown) override { connecting_box = shown; }
  void SetConnectingProgress(int percent) override { progress = percent; }
  void SetPanelsEnabled(bool enabled) override { panels_enabled = enabled; }
  void SetPortListsEnabled(bool enabled) override { port_lists_enabled = enabled; }
  void HideDetailWindow() override { ++detail_hides; }
  void ApplyModelToControls() override {
    ++applies;
    if (on_apply) on_apply();
  }
  void ResetEditingState() override { ++editing_resets; }

  void SetClock(const VirtualClock* clock) { clock_ = clock; }

  std::vector<std::string> messages;
  std::vector<std::int64_t> message_times;
  std::string caption;
  bool lamp_green = false;
  bool connecting_box = false;
  int progress = 0;
  bool panels_enabled = true;
  bool port_lists_enabled = true;
  int detail_hides = 0;
  int applies = 0;
  int editing_resets = 0;
  std::function<void()> on_apply;

 private:
  const VirtualClock* clock_ = nullptr;
};

class RecordingSerialPort : public SerialPort {
 public:
  explicit RecordingSerialPort(const VirtualClock& clock) : clock_(clock) {}
  bool Open(const std::string& name) override {
    opened_name = name;
    open_ = !open_fails;
    return open_;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  void Write(std::span<const std::uint8_t> bytes) override {
    sent.push_back({clock_.NowMs(), {bytes.begin(), bytes.end()}});
    if (on_write) on_write(sent.back().bytes);
  }

  bool open_fails = false;
  std::string opened_name;
  std::vector<SentFrame> sent;
  std::function<void(const std::vector<std::uint8_t>&)> on_write;

 private:
  const VirtualClock& clock_;
  bool open_ = false;
};

}  // namespace veltrane::test
