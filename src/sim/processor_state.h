#pragma once

// What the simulated processor holds and how it answers one frame: the live parameter
// image, 20 preset slots with names, the device-settings record and the front-panel lock.
// Transport, timing and misbehaviour belong to Simulator.
//
// Images are kept as their 552 raw data bytes, so bytes the editor does not interpret
// travel unchanged. Byte 0 of record 64 of the live image is the panel lock and is the
// only copy of that state: images written or recalled into the live settings never
// change it, only lock and unlock do.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "frame/frame_codec.h"
#include "model/image_codec.h"
#include "model/parameter_model.h"

namespace veltrane {

using SimImage = std::array<std::uint8_t, kImageDataLength>;

struct SimDeviceSettings {
  std::uint8_t current_preset = 1;  // 1..20
  std::uint8_t setting1 = 0;        // the two setting bytes have no meaning to the editor
  std::uint8_t setting2 = 0;
  std::uint8_t device_number = 1;  // DeviceId + 1

  friend bool operator==(const SimDeviceSettings&, const SimDeviceSettings&) = default;
};

struct SimPreset {
  SimImage image{};
  std::string name;
};

enum class SimFrameKind {
  kImageRequest,  // live (Bank 0) or a preset recall (Bank 1..20)
  kNamesRequest,
  kSettingsRequest,
  kPoll,
  kGroupRequest,
  kParameterWrite,
  kLongWrite,
  kPresetStore,
  kUnlock,
  kLock,
  kSettingsWrite,
  kOther,  // well-formed frames the processor does not know
};
inline constexpr int kSimFrameKindCount = static_cast<int>(SimFrameKind::kOther) + 1;

SimFrameKind ClassifySimFrame(std::span<const std::uint8_t> frame);

// The data bytes of the image an editor without a link shows: its default model.
SimImage DefaultSimImage();

class ProcessorState {
 public:
  static constexpr int kPresetCount = 20;
  static constexpr std::size_t kPresetNameMax = 19;
  static constexpr std::size_t kNameFieldLength = 20;
  static constexpr std::size_t kPasswordLength = 6;
  static constexpr std::size_t kLockByte = 8 * kLockRecord;  // data byte of the lock state
  static constexpr std::string_view kIdentityText = "TAMBREL2X";
  static constexpr std::string_view kDefaultPassword = "123456";

  // Default model in the live settings and every slot, empty names, unlocked.
  ProcessorState();

  // A plausible set-up to show: filters and crossovers set, named presets that differ.
  // Another variant gives another processor of a rack presets of its own.
  void LoadDemoContent(int variant = 0);

  // The replies (zero or more frames) to one checked frame from the editor, addressed to
  // this processor (Simulator drops the others). Replies carry the processor's own
  // address, device number - 1.
  std::vector<Bytes> Handle(std::span<const std::uint8_t> frame);

  Bytes ImageReply(std::uint8_t bank) const;
  Bytes IdentityReply() const;
  Bytes RefreshReport() const;

  void set_long_poll_answer(bool on) { long_poll_answer_ = on; }
  // A panel that will not lock answers a lock with status 0 and stays as it is.
  void set_refuse_lock(bool on) { refuse_lock_ = on; }
  // A device-number write is acknowledged but the number stays (a failing memory).
  void set_keep_device_number(bool on) { keep_device_number_ = on; }

  const SimImage& live_image() const { return live_; }
  void SetLiveImage(const SimImage& image);  // keeps the lock byte
  ParameterModel LiveModel() const;

  // Slots count from 1.
  const SimPreset& preset(int slot) const { return presets_.at(slot - 1); }
  void SetPreset(int slot, const SimImage& image, std::string_view name);

  const SimDeviceSettings& settings() const { return settings_; }
  void set_settings(const SimDeviceSettings& settings) { settings_ = settings; }

  bool locked() const { return live_[kLockByte] != 0; }
  void SetLocked(bool locked) { live_[kLockByte] = locked ? 1 : 0; }
  const std::string& password() const { return password_; }
  void set_password(std::string_view password) { password_ = std::string(password); }

 private:
  Bytes Reply(std::uint8_t command, std::uint8_t bank, std::uint8_t object_code,
              std::span<const std::uint8_t> data) const;
  Bytes NamesReply() const;
  Bytes SettingsReply() const;
  Bytes PollReply() const;
  Bytes LockResult(std::uint8_t object_code, std::span<const std::uint8_t> sent) const;
  std::vector<Bytes> HandleRequest(std::uint8_t bank, std::uint8_t object_code);
  std::vector<Bytes> HandleWrite(std::uint8_t bank, std::uint8_t object_code, std::uint8_t index,
                                 std::span<const std::uint8_t> data);

  SimImage live_{};
  std::array<SimPreset, kPresetCount> presets_{};
  SimDeviceSettings settings_;
  std::string password_{kDefaultPassword};
  bool long_poll_answer_ = false;
  bool refuse_lock_ = false;
  bool keep_device_number_ = false;
};

}  // namespace veltrane
