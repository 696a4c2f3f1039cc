#include "access/device_settings.h"

#include "protocol/send_slots.h"

namespace veltrane {

DeviceSettings::DeviceSettings(ProtocolEngine& engine, OperationView& view, DeviceNumberView& lists,
                               DevicePresets& presets)
    : engine_(engine), view_(view), lists_(lists), presets_(presets) {}

void DeviceSettings::OnDeviceSettings(const std::array<std::uint8_t, 4>& data) {
  setting1_ = data[1];
  setting2_ = data[2];
  device_number_ = data[3];
  ++answers_received_;
  // A number outside a list selects nothing there rather than a wrong entry.
  const int position = device_number_ - 1;
  lists_.SelectDeviceNumber(position >= 0 && position < kDeviceNumberCount ? position : -1);
  lists_.SelectChangeEntry(position >= 0 && position < kChangeListCount ? position : -1);
  presets_.OnActivePreset(data[0]);
}

void DeviceSettings::ChangeDeviceId() {
  if (!engine_.Connected()) {
    view_.ShowStatus(StatusNote::kNotConnected);
    return;
  }
  const std::uint64_t epoch = engine_.ConnectionEpoch();
  view_.AskYesNo(
      kChangeIdQuestion, kQuestionCaption,
      [this, alive = std::weak_ptr<bool>(alive_), epoch](bool yes) {
        if (alive.expired() || !yes || !engine_.Connected() || engine_.ConnectionEpoch() != epoch) {
          return;
        }
        SendChange(lists_.ChangeListPosition());
      });
}

void DeviceSettings::SendChange(int position) {
  if (position < 0 || position >= kChangeListCount) return;
  const auto number = static_cast<std::uint8_t>(position + 1);
  const std::array<std::uint8_t, 8> data = {
      static_cast<std::uint8_t>(presets_.ActivePreset()), setting1_, setting2_, number, 0, 0, 0, 0};
  // Built before DeviceId changes, so it reaches the processor at its old address.
  engine_.QueueSlotFrame(kSettingsWriteSlot,
                         BuildWriteFrame(engine_.DeviceId(), kObjDeviceSettings, 0, data));
  engine_.SetDeviceId(static_cast<std::uint8_t>(position));
  lists_.SelectDeviceNumber(position);
  view_.ShowStatus(StatusNote::kDeviceNumberChanged, position + 1);
}

}  // namespace veltrane
