#include "access/reply_router.h"

namespace veltrane {

ReplyRouter::ReplyRouter(ProtocolEngine& engine, DevicePresets& presets, PanelLock& lock,
                         DeviceSettings& settings)
    : engine_(engine), presets_(presets), lock_(lock), settings_(settings) {
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

bool ReplyRouter::ImageEndsPresetLoad() { return presets_.ImageEndsRecall(); }

void ReplyRouter::OnPresetNames(const std::array<std::string, 20>& names) {
  if (engine_.Connected()) presets_.OnPresetNames(names);
}

void ReplyRouter::ShowUnlock() {
  // A stray image with no connection open must not lock the editor.
  if (engine_.Connected()) lock_.ShowUnlock();
}

void ReplyRouter::OnConnectionClosed() { presets_.OnConnectionClosed(); }

}  // namespace veltrane
