#include "access/reply_router.h"

namespace veltrane {

ReplyRouter::ReplyRouter(ProtocolEngine& engine, DevicePresets& presets, PresetFile& file,
                         GroupBackup& backup, PanelLock& lock, DeviceSettings& settings)
    : engine_(engine),
      presets_(presets),
      file_(file),
      backup_(backup),
      lock_(lock),
      settings_(settings) {
  engine_.SetHooks(this);
}

ReplyRouter::~ReplyRouter() { engine_.SetHooks(nullptr); }

void ReplyRouter::OnUnlockResult(std::uint8_t status) {
  if (engine_.Connected()) lock_.OnUnlockResult(status);
}

void ReplyRouter::OnLockResult(std::uint8_t status) {
  if (engine_.Connected()) lock_.OnLockResult(status);
}

void ReplyRouter::OnDeviceSettings(const std::array<std::uint8_t, 4>& data) {
  if (engine_.Connected()) settings_.OnDeviceSettings(data);
}

void ReplyRouter::OnPlainAck() {
  if (engine_.Connected()) presets_.OnPlainAck();
}

void ReplyRouter::OnPresetNames(const std::array<std::string, 20>& names) {
  if (engine_.Connected()) presets_.OnPresetNames(names);
}

void ReplyRouter::ShowUnlock() {
  // A stray image with no connection open must not lock the editor.
  if (engine_.Connected()) lock_.ShowUnlock();
}

void ReplyRouter::OnConnectionClosed() {
  presets_.OnConnectionClosed();
  file_.OnConnectionClosed();
  backup_.OnConnectionClosed();
}

void ReplyRouter::OnImageApplied() {
  if (history_ != nullptr) history_->Clear();
}

}  // namespace veltrane
