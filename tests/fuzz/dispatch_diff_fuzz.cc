// The engine's frame reader and reply table against the separate reading in
// dispatch_reference.cc: the same bytes in the same state must fire the same view calls,
// hooks and frames in the same order, and leave the same bytes waiting, timers, send slot
// and model (a dispatch script, fuzz_scripts.h; a "replace" pass drops what was waiting
// before its bytes arrive).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dispatch_reference.h"
#include "fuzz_check.h"
#include "fuzz_scripts.h"
#include "operation_claims.h"
#include "protocol/engine.h"
#include "protocol/virtual_clock.h"

namespace veltrane::fuzz {
namespace {

using Events = std::vector<std::string>;

class EventView : public ConnectionView {
 public:
  explicit EventView(Events& events) : events_(events) {}
  void ShowMessage(std::string_view text) override {
    events_.push_back("view.message " + std::string(text));
  }
  void SetConnectCaption(std::string_view caption) override {
    events_.push_back("view.caption " + std::string(caption));
  }
  void SetLamp(bool) override {}
  void ShowConnectingBox(bool shown) override {
    events_.push_back(shown ? "view.connecting-box 1" : "view.connecting-box 0");
  }
  void SetConnectingProgress(int) override {}
  void SetPanelsEnabled(bool enabled) override {
    events_.push_back(enabled ? "view.panels 1" : "view.panels 0");
  }
  void SetPortListsEnabled(bool enabled) override {
    events_.push_back(enabled ? "view.port-lists 1" : "view.port-lists 0");
  }
  void HideDetailWindow() override { events_.push_back("view.hide-detail"); }
  void ApplyModelToControls() override { events_.push_back("view.apply"); }
  void ResetEditingState() override { events_.push_back("view.reset-editing"); }

 private:
  Events& events_;
};

// Hooks that act record what they were given; the questions the engine asks are not
// events, but a pending file save or preset load is taken by the image that claims it.
class EventHooks : public ReplyHooks, public OperationClaims {
 public:
  explicit EventHooks(Events& events) : events_(events) {}
  void OnUnlockResult(std::uint8_t status) override {
    events_.push_back("hook.unlock " + std::to_string(status));
  }
  void OnLockResult(std::uint8_t status) override {
    events_.push_back("hook.lock " + std::to_string(status));
  }
  void OnDeviceSettings(const std::array<std::uint8_t, 4>& d) override {
    events_.push_back("hook.settings " + std::to_string(d[0]) + " " + std::to_string(d[1]) + " " +
                      std::to_string(d[2]) + " " + std::to_string(d[3]));
  }
  void OnPlainAck() override { events_.push_back("hook.plain-ack"); }
  void OnPresetNames(const std::array<std::string, 20>& names) override {
    std::string event = "hook.names";
    for (std::size_t n = 0; n < names.size(); ++n) event += (n == 0 ? " " : "|") + names[n];
    events_.push_back(event);
  }
  void ShowUnlock() override { events_.push_back("hook.show-unlock"); }


 private:
  void OnBackupRecord(std::string_view record) override {
    events_.push_back("hook.backup-record " + std::string(record));
  }
  void OnImageToFile(std::string_view image) override {
    events_.push_back("hook.image-to-file " + std::string(image));
  }
  void OnPresetLoadEnded() override { events_.push_back("hook.preset-load-ended"); }

  Events& events_;
};

class EventSerial : public SerialPort {
 public:
  explicit EventSerial(Events& events) : events_(events) {}
  bool Open(const std::string&) override { return open_ = true; }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  void Write(std::span<const std::uint8_t> bytes) override {
    events_.push_back("write " + EncodeHex(bytes));
  }

 private:
  Events& events_;
  bool open_ = false;
};

class EventDeviceLink : public ByteLink {
 public:
  explicit EventDeviceLink(Events& events) : events_(events) {}
  void Write(std::span<const std::uint8_t> bytes) override {
    events_.push_back("write " + EncodeHex(bytes));
  }

 private:
  Events& events_;
};

std::set<std::string> RunningTimers(const VirtualClock& clock) {
  std::set<std::string> names;
  std::istringstream in(clock.RunningTimers());
  for (std::string name; in >> name;) names.insert(name);
  return names;
}

void ExpectSame(const Events& engine, const Events& reference) {
  if (engine == reference) return;
  const auto print = [](const char* who, const Events& events) {
    std::fprintf(stderr, "%s:\n", who);
    for (const std::string& e : events) std::fprintf(stderr, "  %.160s\n", e.c_str());
  };
  print("engine", engine);
  print("reference", reference);
  FUZZ_CHECK(engine == reference);
}

}  // namespace
}  // namespace veltrane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrane;
  using namespace veltrane::fuzz;
  ScriptReader in(std::span(data, size));
  const std::uint8_t flags = in.Byte();
  const std::uint8_t device_id = in.Byte();

  VirtualClock clock;
  ParameterModel model;
  Events events;
  EventView view(events);
  EventHooks hooks(events);
  EventSerial serial(events);
  EventDeviceLink hid(events);
  ProtocolEngine engine(clock, model, view);
  engine.SetDeviceId(device_id);
  engine.SetSerialPort(&serial);
  if ((flags & kDispatchHid) != 0) engine.SetDeviceLink(&hid);
  engine.SetHooks(&hooks);
  engine.SelectPort("ttyDIFF", 1);
  engine.Start();
  if ((flags & kDispatchConnected) != 0) {
    engine.ConnectButtonClicked();
    clock.Advance(100);  // the port opens and the image request leaves
    FUZZ_CHECK(engine.Connected());
  }
  hooks.file_save = (flags & kDispatchFileSave) != 0;
  hooks.preset_load = (flags & kDispatchPresetLoad) != 0;
  hooks.backup = (flags & kDispatchBackup) != 0;
  hooks.Claim(engine);

  ReferenceState reference;
  reference.device_id = device_id;
  reference.connected = engine.Connected();
  reference.file_save = hooks.file_save;
  reference.preset_load = hooks.preset_load;
  reference.backup = hooks.backup;
  reference.settings_request_pending = engine.SlotPending(kSettingsRequestSlot);
  reference.running = RunningTimers(clock);
  reference.model = model;
  std::vector<std::uint8_t> left;
  events.clear();

  while (!in.Done()) {
    const std::uint8_t high = in.Byte();
    const std::uint16_t head = static_cast<std::uint16_t>(high << 8 | in.Byte());
    const bool replace = (head & DispatchScriptWriter::kReplace) != 0;
    const auto bytes = in.Take(head & DispatchScriptWriter::kLengthMask);
    std::vector<std::uint8_t> waiting = replace ? std::vector<std::uint8_t>() : left;
    waiting.insert(waiting.end(), bytes.begin(), bytes.end());
    if (replace) engine.DiscardReceived();
    engine.OnBytes(bytes);

    Events expected;
    left = ReferenceDispatch(reference, std::move(waiting), !bytes.empty(), expected);
    ExpectSame(events, expected);
    FUZZ_CHECK(engine.ReceivePending() == !left.empty());
    FUZZ_CHECK(RunningTimers(clock) == reference.running);
    FUZZ_CHECK(engine.SlotPending(kSettingsRequestSlot) == reference.settings_request_pending);
    FUZZ_CHECK(model == reference.model);
    FUZZ_CHECK(engine.Connected() == reference.connected);
    FUZZ_CHECK(hooks.file_save == reference.file_save);
    FUZZ_CHECK(hooks.preset_load == reference.preset_load);
    events.clear();
  }
  return 0;
}
