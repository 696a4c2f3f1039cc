#pragma once

// The processor's device-settings record (current preset, two setting bytes the editor
// only returns, device number) and the "Change" command that gives the processor a new
// device number. The device-number lists show the record; only the user's own pick in the
// top bar changes the address the editor talks to, except after a "Change".

#include <array>
#include <cstdint>
#include <string_view>

#include "protocol/engine.h"
#include "protocol/view.h"
#include "storage/device_presets.h"

namespace veltrane {

inline constexpr std::string_view kChangeIdQuestion = "Do you want to copy it?";
inline constexpr int kDeviceNumberCount = 256;  // top bar list "1" .. "256"
inline constexpr int kChangeListCount = 251;    // "01" .. "250" and an empty entry (251)

class DeviceNumberView {
 public:
  virtual ~DeviceNumberView() = default;
  // Selects without changing DeviceId; -1 selects nothing.
  virtual void SelectDeviceNumber(int position) = 0;  // top bar list
  virtual void SelectChangeEntry(int position) = 0;   // the "Change Device ID:" list
  virtual int ChangeListPosition() const = 0;
};

class DeviceSettings {
 public:
  DeviceSettings(ProtocolEngine& engine, OperationView& view, DeviceNumberView& lists,
                 DevicePresets& presets);

  // Data bytes 0 to 3 of the settings reply; routed here only while connected.
  void OnDeviceSettings(const std::array<std::uint8_t, 4>& data);
  // The "Change" button.
  void ChangeDeviceId();

  std::uint8_t Setting1() const { return setting1_; }
  std::uint8_t Setting2() const { return setting2_; }
  int DeviceNumber() const { return device_number_; }  // as last received, 0 before
  // How many settings answers this object has taken: a caller waiting for one compares.
  int AnswersReceived() const { return answers_received_; }

 private:
  void SendChange(int position);

  ProtocolEngine& engine_;
  OperationView& view_;
  DeviceNumberView& lists_;
  DevicePresets& presets_;
  std::uint8_t setting1_ = 0;
  std::uint8_t setting2_ = 0;
  int device_number_ = 0;
  int answers_received_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace veltrane
