#pragma once

// The editor's core without windows: engine, simulator behind an in-process serial (or
// HID) link, the preset, lock and device-number features and their router, on a virtual
// clock, with a view that records what it showed and answers questions from a script.

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "access/device_settings.h"
#include "access/panel_lock.h"
#include "access/processor_operations.h"
#include "access/reply_router.h"
#include "hex_util.h"
#include "memory_file_store.h"
#include "model/image_codec.h"
#include "protocol/engine_harness.h"
#include "sim/sim_link.h"
#include "sim/simulator.h"
#include "storage/device_presets.h"
#include "storage/group_backup.h"
#include "storage/preset_file.h"

namespace veltrane::test {

class ScriptedView : public RecordingView,
                     public OperationView,
                     public PresetView,
                     public LockView,
                     public DeviceNumberView {
 public:
  // ConnectionView and OperationView share these two.
  void ShowMessage(std::string_view text) override { RecordingView::ShowMessage(text); }
  void HideDetailWindow() override { RecordingView::HideDetailWindow(); }

  // OperationView
  void AskYesNo(std::string_view text, std::string_view caption,
                std::function<void(bool)> answer) override {
    questions.push_back(std::string(caption) + ": " + std::string(text));
    bool yes = true;
    if (!answers.empty()) {
      yes = answers.front();
      answers.pop_front();
    }
    answer(yes);
  }
  void ChooseFile(const FileDialogRequest& dialog,
                  std::function<void(std::optional<std::string>)> chosen) override {
    dialogs.push_back(dialog);
    std::optional<std::string> path;
    if (!chosen_paths.empty()) {
      path = chosen_paths.front();
      chosen_paths.pop_front();
    }
    chosen(path);
  }
  void ShowTransferBox(bool shown) override { transfer_box = shown; }
  void SetTransferProgress(int percent) override { transfer_progress.push_back(percent); }
  void SetOperationPanelsEnabled(bool enabled) override { operation_panels_enabled = enabled; }
  void ShowStatus(StatusNote note, int number) override { statuses.emplace_back(note, number); }

  // PresetView
  void ShowPresetList(const std::array<std::string, kPresetCount>& entries, int selected) override {
    preset_entries.assign(entries.begin(), entries.end());
    preset_position = selected;
  }
  void SelectPreset(int position) override { preset_position = position; }
  int PresetListPosition() const override { return preset_entries.empty() ? -1 : preset_position; }
  int SlotSelectorPosition() const override { return slot_position; }
  std::string NameBoxText() const override { return name_box; }
  void SetNameBoxText(std::string_view text) override { name_box = std::string(text); }

  // LockView
  void SetMainWindowEnabled(bool enabled) override { main_window_enabled = enabled; }
  void ShowLockLabel(bool shown) override { lock_label = shown; }
  void ShowPasswordDialog(PasswordDialog dialog) override { Dialog(dialog) = true; }
  void ClosePasswordDialog(PasswordDialog dialog) override { Dialog(dialog) = false; }
  void ClearPassword(PasswordDialog dialog) override {
    cleared.push_back(dialog == PasswordDialog::kUnlock ? "unlock" : "lock");
  }
  void ShowWrongPassword() override { ++wrong_passwords; }
  void QuitEditor() override { ++quits; }

  // DeviceNumberView
  void SelectDeviceNumber(int position) override { device_position = position; }
  void SelectChangeEntry(int position) override { change_selected = position; }
  int ChangeListPosition() const override { return change_position; }

  bool& Dialog(PasswordDialog dialog) {
    return dialog == PasswordDialog::kUnlock ? unlock_dialog : lock_dialog;
  }

  std::deque<bool> answers;  // empty: Yes
  std::vector<std::string> questions;
  std::deque<std::optional<std::string>> chosen_paths;  // empty: cancelled
  std::vector<FileDialogRequest> dialogs;
  bool transfer_box = false;
  std::vector<int> transfer_progress;
  bool operation_panels_enabled = true;

  std::vector<std::string> preset_entries;
  int preset_position = -1;
  int slot_position = 0;
  std::string name_box;

  bool main_window_enabled = true;
  bool lock_label = false;
  bool unlock_dialog = false;
  bool lock_dialog = false;
  std::vector<std::string> cleared;
  int quits = 0;
  int wrong_passwords = 0;
  std::vector<std::pair<StatusNote, int>> statuses;

  int device_position = 0;
  int change_selected = 0;
  int change_position = 0;
};

inline std::uint8_t ObjectOf(const Bytes& frame) { return frame.size() > 6 ? frame[6] : 0; }
inline std::uint8_t CommandOf(const Bytes& frame) { return frame.size() > 4 ? frame[4] : 0; }

// Every field away from its default, inside the ranges an image can carry.
inline ParameterModel VariedModel() {
  ParameterModel m;
  for (int c = 0; c < kChannelCount; ++c) {
    ChannelParams& ch = m.channels[c];
    ch = {.mute = 1,
          .polarity = 1,
          .gain = static_cast<std::uint8_t>(100 + c),
          .delay = static_cast<std::uint16_t>(300 + 7 * c),
          .eq_bypass = 1,
          .hp_freq = static_cast<std::uint8_t>(20 + c),
          .hp_type = static_cast<std::uint8_t>(c + 1),
          .lp_freq = static_cast<std::uint8_t>(200 - c),
          .lp_type = static_cast<std::uint8_t>(11 - c)};
    if (IsOutput(c)) {
      m.Output(c) = {.route = static_cast<std::uint8_t>(c % 3 + 1),
                     .limiter_threshold = 11,
                     .limiter_attack = 12,
                     .limiter_release = 3,
                     .limiter_ratio = 5};
    }
  }
  for (int b = 0; b < kBandCount; ++b) {
    m.bands[b] = {.freq = static_cast<std::uint8_t>(3 + 4 * (b % 50)),
                  .type = static_cast<std::uint8_t>(b % 3 == 0   ? 1
                                                    : b % 3 == 1 ? 2
                                                                 : 0),
                  .peak_gain = static_cast<std::uint16_t>(90 + b),
                  .shelf_gain = static_cast<std::uint16_t>(130 + b / 2),
                  .q = static_cast<std::uint8_t>(10 + b)};
  }
  return m;
}

// A model decoded from the data bytes of an image the simulator holds.
inline ParameterModel ModelOfImage(const SimImage& image) {
  ParameterModel m;
  DecodeParameterImage(EncodeHex(BuildFrame(0, kCmdData, 0, kObjImage, 0, image)), m);
  return m;
}

class FeatureTest : public ::testing::Test {
 protected:
  void SetUp() override { Build({.demo_content = true}); }

  void Build(SimOptions options, bool over_hid = false) {
    processor.reset();
    engine.reset();
    hid.reset();
    port.reset();
    sim = std::make_unique<Simulator>(clock, std::move(options));
    port = std::make_unique<SimSerialPort>(clock, *sim);
    engine = std::make_unique<ProtocolEngine>(clock, model, view);
    port->SetReceiver([this](std::span<const std::uint8_t> b) { engine->OnBytes(b); });
    engine->SetSerialPort(port.get());
    if (over_hid) {
      hid = std::make_unique<SimHidPort>(clock, *sim);
      hid->SetReceiver([this](std::span<const std::uint8_t> b) { engine->OnBytes(b); });
      engine->SetDeviceLink(hid.get());
    }
    engine->SelectPort("/dev/ttySIM", 1);
    view.SetClock(&clock);
    BuildOperations(files);
    engine->Start();
  }

  // The operations as the programs build them, on `store` for their files.
  void BuildOperations(FileStore& store) {
    processor.reset();
    processor = std::make_unique<ProcessorOperations>(
        clock, *engine, model,
        ProcessorViews{.operations = view, .presets = view, .lock = view, .device_number = view},
        store);
    gate = &processor->Gate();
    presets = &processor->Presets();
    file = &processor->File();
    backup = &processor->Backup();
    lock = &processor->Lock();
    settings = &processor->Settings();
    router = &processor->Router();
  }

  // Clicks and runs the clock until the handshake (image, names, settings) is over.
  void Connect() {
    engine->ConnectButtonClicked();
    clock.Advance(1000);
    ASSERT_TRUE(engine->Connected());
    ASSERT_FALSE(engine->Connecting());
  }
  void Disconnect() {
    engine->ConnectButtonClicked();
    clock.Advance(100);
    ASSERT_FALSE(engine->Connected());
  }

  // Frames the editor wrote from `from` on, without the keep-alive polls.
  std::vector<SentFrame> SentSince(std::size_t from) const {
    std::vector<SentFrame> out;
    for (std::size_t i = from; i < port->sent().size(); ++i) {
      const SentFrame& f = port->sent()[i];
      if (CommandOf(f.bytes) == kCmdRequest && ObjectOf(f.bytes) == kObjPoll) continue;
      out.push_back(f);
    }
    return out;
  }
  std::size_t Mark() const { return port->sent().size(); }
  int PollsSince(std::size_t from) const {
    int polls = 0;
    for (std::size_t i = from; i < port->sent().size(); ++i) {
      const Bytes& b = port->sent()[i].bytes;
      polls += CommandOf(b) == kCmdRequest && ObjectOf(b) == kObjPoll;
    }
    return polls;
  }

  VirtualClock clock;
  ParameterModel model;
  ScriptedView view;
  std::unique_ptr<Simulator> sim;
  std::unique_ptr<SimSerialPort> port;
  std::unique_ptr<SimHidPort> hid;
  std::unique_ptr<ProtocolEngine> engine;
  MemoryFileStore files;
  std::unique_ptr<ProcessorOperations> processor;
  OperationGate* gate = nullptr;
  DevicePresets* presets = nullptr;
  PresetFile* file = nullptr;
  GroupBackup* backup = nullptr;
  PanelLock* lock = nullptr;
  DeviceSettings* settings = nullptr;
  ReplyRouter* router = nullptr;
};

}  // namespace veltrane::test
