#pragma once

// An engine on a virtual clock, driven by an engine script (fuzz_scripts.h) over the
// serial or the HID receive path (input reports put together as the HID link does), with a port, a
// view and reply hooks that check what the engine does to them as it happens, and the engine's own
// state checked after every step.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "frame/hid_reports.h"
#include "model/parameter_model.h"
#include "protocol/engine.h"
#include "protocol/virtual_clock.h"

namespace veltrane::fuzz {

enum class ReceivePath { kSerial, kHid };

class EngineRig {
 public:
  explicit EngineRig(ReceivePath path);
  ~EngineRig();
  EngineRig(const EngineRig&) = delete;
  EngineRig& operator=(const EngineRig&) = delete;

  void Run(std::span<const std::uint8_t> script);

 private:
  class Port;
  class Hid;
  class View;
  class Hooks;
  friend class Port;
  friend class Hid;
  friend class View;
  friend class Hooks;

  struct Stamp {
    std::int64_t time_ms = 0;
    std::uint64_t sequence = 0;  // orders events of the same millisecond
  };

  void Step(std::uint8_t op, std::span<const std::uint8_t> operands);
  void CheckState();
  // A frame the engine wrote, over either link.
  void OnFrameWritten(std::span<const std::uint8_t> frame);
  void OnMessage(std::string_view text);
  void OnCaption(std::string_view caption);
  bool TimingIsObservable() const;
  // A frame of the list went out at written_ms, and (when asked) no serial read reached
  // the dispatcher after it and before fired_ms.
  bool WrittenAt(const std::vector<Stamp>& writes, std::int64_t written_ms, std::int64_t fired_ms,
                 bool then_silence) const;
  Stamp Now() { return {clock_.NowMs(), sequence_++}; }

  const ReceivePath path_;
  VirtualClock clock_;
  ParameterModel model_;
  std::unique_ptr<Port> serial_;
  std::unique_ptr<Hid> hid_;
  std::unique_ptr<View> view_;
  std::unique_ptr<Hooks> hooks_;
  std::unique_ptr<ProtocolEngine> engine_;
  HidReplyAssembler hid_replies_;

  std::uint64_t sequence_ = 0;
  bool hid_plugged_ = false;
  bool ever_unplugged_ = false;        // then some requests went nowhere and are not in the lists
  std::vector<Stamp> image_requests_;  // frames written, by kind
  std::vector<Stamp> polls_;
  std::vector<Stamp> arrivals_;  // serial reads that reached the dispatcher
  std::string caption_;
  bool closed_message_due_ = false;  // a connection just closed: one time-out message may follow
  std::int64_t closed_at_ms_ = 0;
  int no_port_messages_ = 0;
};

}  // namespace veltrane::fuzz
