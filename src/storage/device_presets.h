#pragma once

// The processor's 20 preset slots: their names (PresetNameTable), the active preset, and
// the two operations of the bottom panel's preset rows, "Store Preset" and "Load Preset".
// Both talk to the processor directly with their own frames while the send slots rest.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "protocol/engine.h"
#include "protocol/outcome.h"
#include "protocol/timer.h"
#include "protocol/view.h"
#include "storage/operation_gate.h"

namespace veltrane {

inline constexpr int kPresetCount = 20;
inline constexpr std::size_t kPresetNameMaxBytes = 19;
inline constexpr std::string_view kPresetQuestion = "Do you want to save this group?";
inline constexpr std::string_view kQuestionCaption = "KORVALD";
inline constexpr std::string_view kMsgStored = "Successfully save.";
// The recall and backup time-outs have always used a full-width comma.
inline constexpr std::string_view kMsgOvertimeShort = "overtime\xEF\xBC\x8Ctry again.";

// The preset rows as the windows show them.
class PresetView {
 public:
  virtual ~PresetView() = default;
  // The "Load" list: 20 entries "Pre1:" + name 1 ... "Pre20:" + name 20; -1 selects none.
  virtual void ShowPresetList(const std::array<std::string, kPresetCount>& entries,
                              int selected) = 0;
  virtual void SelectPreset(int position) = 0;
  // -1 when the list has no selection (it is empty until the first names reply).
  virtual int PresetListPosition() const = 0;
  // The "Save" row: the slot selector ("Pre1:" .. "Pre20:") and the name box.
  virtual int SlotSelectorPosition() const = 0;
  virtual std::string NameBoxText() const = 0;
  virtual void SetNameBoxText(std::string_view text) = 0;
};

// Names as the windows show them (UTF-8), slots counted from 1 on the wire.
class PresetNameTable {
 public:
  const std::string& Name(int slot) const { return names_.at(slot - 1); }
  void SetName(int slot, std::string name) { names_.at(slot - 1) = std::move(name); }
  // The 20 names of a names reply, as sent: bytes up to each field's first zero.
  void ReplaceAll(const std::array<std::string, kPresetCount>& raw_names);
  // "Pre1:" + name 1 ... "Pre20:" + name 20, no blank between.
  std::array<std::string, kPresetCount> ListEntries() const;

 private:
  std::array<std::string, kPresetCount> names_{};
};

// The name box text as it is stored: blanks and control characters trimmed at both ends,
// then Windows-1252 bytes, at most 19. Characters the code page has no byte for become
// '?', so the name kept for the list is always the one the processor holds.
std::string PresetNameBytes(std::string_view utf8_text);
// True when every character of the text can go into a name and it fits in 19 bytes.
bool IsStorablePresetName(std::string_view utf8_text);

class DevicePresets : public OutcomeReporter {
 public:
  DevicePresets(TimerHost& timers, ProtocolEngine& engine, OperationView& view, PresetView& presets,
                OperationGate& gate);
  ~DevicePresets();
  DevicePresets(const DevicePresets&) = delete;
  DevicePresets& operator=(const DevicePresets&) = delete;

  // Buttons and the slot selector.
  void StorePreset();
  void LoadPreset();
  void SlotSelectorChanged(int position);

  // Replies, routed here only while a connection is open.
  void OnPresetNames(const std::array<std::string, kPresetCount>& raw_names);
  void OnPlainAck();
  // The device-settings reply's current preset (data byte 0).
  void OnActivePreset(std::uint8_t preset);
  // After an image was applied: true when it ended a recall.
  bool ImageEndsRecall();
  void OnConnectionClosed();

  const PresetNameTable& Names() const { return names_; }
  int ActivePreset() const { return active_preset_; }
  // How many names answers have been taken: a caller waiting for one compares.
  int NamesReceived() const { return names_received_; }
  bool StorePending() const { return store_pending_; }
  bool RecallPending() const { return recall_pending_; }

 private:
  void SendStore(int slot, std::string_view text);
  void SendRecall(int preset);
  void EndRecall();
  void OnRecallTimeout();
  void OnRecallTick();
  bool SameConnection(std::uint64_t epoch) const;

  TimerHost& timers_;
  ProtocolEngine& engine_;
  OperationView& view_;
  PresetView& presets_;
  OperationGate& gate_;

  PresetNameTable names_;
  int names_received_ = 0;
  int active_preset_ = 1;
  bool store_pending_ = false;    // a store frame awaits its acknowledge
  bool store_in_flight_ = false;  // between the question and the scheduler's restart
  bool recall_pending_ = false;
  int recall_preset_ = 1;  // 1-based, the preset the pending recall asked for
  int recall_ticks_ = 0;

  std::unique_ptr<Timer> recall_timeout_;   // recall time-out, 12 s
  std::unique_ptr<Timer> recall_progress_;  // recall progress, 400 ms
  std::unique_ptr<Timer> stored_message_;   // "Successfully save." 10 ms after the acknowledge
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace veltrane
