#pragma once

// The one object that implements the engine's reply hooks: it hands each reply to the
// operation it belongs to, and only while a connection is open, since HID reports keep
// arriving after a disconnect and a late answer must not act on a closed link.

#include "access/device_settings.h"
#include "access/panel_lock.h"
#include "model/edit_history.h"
#include "protocol/engine.h"
#include "storage/device_presets.h"
#include "storage/group_backup.h"
#include "storage/preset_file.h"

namespace veltrane {

class ReplyRouter : public ReplyHooks {
 public:
  ReplyRouter(ProtocolEngine& engine, DevicePresets& presets, PresetFile& file, GroupBackup& backup,
              PanelLock& lock, DeviceSettings& settings);
  ~ReplyRouter() override;
  ReplyRouter(const ReplyRouter&) = delete;
  ReplyRouter& operator=(const ReplyRouter&) = delete;

  void OnUnlockResult(std::uint8_t status) override;
  void OnLockResult(std::uint8_t status) override;
  void OnDeviceSettings(const std::array<std::uint8_t, 4>& data) override;
  void OnPlainAck() override;
  void OnPresetNames(const std::array<std::string, 20>& names) override;
  void ShowUnlock() override;
  void OnConnectionClosed() override;
  void OnImageApplied() override;

  // The user's edits, cleared by every parameter set that replaces the model.
  void SetEditHistory(EditHistory* history) { history_ = history; }

 private:
  ProtocolEngine& engine_;
  DevicePresets& presets_;
  PresetFile& file_;
  GroupBackup& backup_;
  PanelLock& lock_;
  DeviceSettings& settings_;
  EditHistory* history_ = nullptr;
};

}  // namespace veltrane
