#include "sim/processor_state.h"

#include <algorithm>

#include "model/blocks.h"

namespace veltrane {
namespace {

constexpr std::size_t kImageHeaderLength = 10;
constexpr std::size_t kIdentityLength = 24;
constexpr std::size_t kShortAnswerLength = 8;
constexpr std::size_t kLongPollLength = 20;
constexpr std::size_t kStatusByte = 6;  // of a lock or unlock result

bool IsPresetSlot(std::uint8_t bank) { return bank >= 1 && bank <= ProcessorState::kPresetCount; }

SimImage SimImageOfModel(const ParameterModel& model) {
  const std::string text = EncodeParameterImage(model);
  SimImage data{};
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = HexByteAt(text, 2 * (kImageHeaderLength + i) + 1);
  }
  return data;
}

ParameterModel DemoModel() {
  ParameterModel m;
  // A three-way speaker fed from In A: tweeter, mid and woofer outputs.
  auto& in_a = m.channels[kInA];
  in_a.hp_freq = 16;  // about 30 Hz subsonic filter
  in_a.hp_type = 3;
  m.bands[BandId(kInA, 1)] = {45, kLowShelf, kDefaultEqGain, 135, 4};   // +3 dB below 70 Hz
  m.bands[BandId(kInA, 4)] = {118, kPeaking, 105, kDefaultEqGain, 20};  // -3 dB near 600 Hz

  auto& out1 = m.channels[kOut1];
  out1.hp_freq = 160;  // 2 kHz
  out1.hp_type = 5;
  out1.delay = 48;  // 1 ms to line up with the woofer
  m.bands[BandId(kOut1, 2)] = {184, kPeaking, 110, kDefaultEqGain, 12};
  m.bands[BandId(kOut1, 7)] = {220, kHighShelf, kDefaultEqGain, 130, 4};

  auto& out2 = m.channels[kOut2];
  out2.hp_freq = 80;  // 200 Hz
  out2.hp_type = 5;
  out2.lp_freq = 160;
  out2.lp_type = 5;
  m.bands[BandId(kOut2, 3)] = {136, kPeaking, 112, kDefaultEqGain, 30};

  auto& out3 = m.channels[kOut3];
  out3.lp_freq = 80;
  out3.lp_type = 5;
  out3.polarity = 1;
  m.bands[BandId(kOut3, 0)] = {40, kPeaking, 130, kDefaultEqGain, 10};

  m.channels[kOut4].mute = 1;
  for (int out = kOut1; out <= kOut3; ++out) {
    m.Output(out).route = 1;  // "A"
    m.Output(out).limiter_threshold = 40;
    m.Output(out).limiter_attack = 20;
    m.Output(out).limiter_release = 2;
    m.Output(out).limiter_ratio = 4;
  }
  return m;
}

constexpr std::array<std::string_view, ProcessorState::kPresetCount> kDemoNames = {
    "Live Rock",  "Jazz Club", "Speech",   "Acoustic Duo",  "Dance Floor",
    "Theatre",    "Church",    "Outdoor",  "Monitor Wedge", "Sub Heavy",
    "Background", "Karaoke",   "DJ Booth", "Lecture Hall",  "Choir",
    "Brass Band", "Rehearsal", "Cinema",   "Lounge",        "Test Tone"};

}  // namespace

SimFrameKind ClassifySimFrame(std::span<const std::uint8_t> frame) {
  if (frame.size() < kFrameOverhead) return SimFrameKind::kOther;
  const std::uint8_t object_code = frame[6];
  if (frame[4] == kCmdRequest) {
    switch (object_code) {
      case kObjImage:
        return SimFrameKind::kImageRequest;
      case kObjPresetNames:
        return SimFrameKind::kNamesRequest;
      case kObjDeviceSettings:
        return SimFrameKind::kSettingsRequest;
      case kObjPoll:
        return SimFrameKind::kPoll;
      case kObjPresetImage:
        return SimFrameKind::kGroupRequest;
      default:
        return SimFrameKind::kOther;
    }
  }
  if (frame[4] == kCmdWrite) {
    if (object_code < kChannelCount) return SimFrameKind::kParameterWrite;
    switch (object_code) {
      case kObjImage:
      case kObjPresetImage:
        return SimFrameKind::kLongWrite;
      case kObjStorePreset:
        return SimFrameKind::kPresetStore;
      case kObjUnlock:
        return SimFrameKind::kUnlock;
      case kObjLock:
        return SimFrameKind::kLock;
      case kObjDeviceSettings:
        return SimFrameKind::kSettingsWrite;
      default:
        return SimFrameKind::kOther;
    }
  }
  return SimFrameKind::kOther;
}

SimImage DefaultSimImage() { return SimImageOfModel(ParameterModel{}); }

ProcessorState::ProcessorState() : live_(DefaultSimImage()) {
  for (SimPreset& preset : presets_) preset.image = live_;
}

void ProcessorState::LoadDemoContent(int variant) {
  ParameterModel demo = DemoModel();
  demo.channels[kOut1].gain = static_cast<std::uint8_t>(120 - (variant % 60));
  SetLiveImage(SimImageOfModel(demo));
  for (int slot = 1; slot <= kPresetCount; ++slot) {
    // Each slot a little different, so a recall visibly changes something.
    ParameterModel variant = demo;
    variant.channels[kInA].gain = static_cast<std::uint8_t>(100 + 2 * slot);
    variant.bands[BandId(kInA, 0)].freq = static_cast<std::uint8_t>(8 * slot);
    SetPreset(slot, SimImageOfModel(variant), kDemoNames[slot - 1]);
  }
  settings_.current_preset = 1;
}

void ProcessorState::SetLiveImage(const SimImage& image) {
  const std::uint8_t lock = live_[kLockByte];
  live_ = image;
  live_[kLockByte] = lock;
}

ParameterModel ProcessorState::LiveModel() const {
  ParameterModel model;
  DecodeParameterImage(EncodeHex(ImageReply(0)), model);
  return model;
}

void ProcessorState::SetPreset(int slot, const SimImage& image, std::string_view name) {
  SimPreset& preset = presets_.at(slot - 1);
  preset.image = image;
  preset.name = std::string(name.substr(0, kPresetNameMax));
}

Bytes ProcessorState::Reply(std::uint8_t command, std::uint8_t bank, std::uint8_t object_code,
                            std::span<const std::uint8_t> data) const {
  const auto address = static_cast<std::uint8_t>(settings_.device_number - 1);
  return BuildFrame(address, command, bank, object_code, 0, data);
}

Bytes ProcessorState::ImageReply(std::uint8_t bank) const {
  return Reply(kCmdData, bank, kObjImage, live_);
}

Bytes ProcessorState::IdentityReply() const {
  std::array<std::uint8_t, kIdentityLength> data{};
  std::copy(kIdentityText.begin(), kIdentityText.end(), data.begin());
  return Reply(kCmdData, 0, kObjIdentity, data);
}

Bytes ProcessorState::RefreshReport() const { return Reply(kCmdAck, 0, kObjRefresh, {}); }

Bytes ProcessorState::NamesReply() const {
  std::array<std::uint8_t, kPresetCount * kNameFieldLength> data{};
  for (int i = 0; i < kPresetCount; ++i) {
    const std::string& name = presets_[i].name;
    std::copy(name.begin(), name.end(), data.begin() + i * kNameFieldLength);
  }
  return Reply(kCmdData, 0, kObjPresetNames, data);
}

Bytes ProcessorState::SettingsReply() const {
  const std::array<std::uint8_t, kShortAnswerLength> data = {
      settings_.current_preset, settings_.setting1, settings_.setting2, settings_.device_number};
  return Reply(kCmdData, 0, kObjDeviceSettings, data);
}

Bytes ProcessorState::PollReply() const {
  const std::vector<std::uint8_t> data(long_poll_answer_ ? kLongPollLength : kShortAnswerLength);
  return Reply(kCmdData, 0, kObjPoll, data);
}

Bytes ProcessorState::LockResult(std::uint8_t object_code,
                                 std::span<const std::uint8_t> sent) const {
  // The password characters come back as sent; the status tells the editor the outcome.
  std::array<std::uint8_t, kShortAnswerLength> data{};
  std::copy_n(sent.begin(), kPasswordLength, data.begin());
  data[kStatusByte] = locked() ? 1 : 0;
  return Reply(kCmdAck, 0, object_code, data);
}

std::vector<Bytes> ProcessorState::Handle(std::span<const std::uint8_t> frame) {
  if (frame.size() < kFrameOverhead) return {};
  const auto data = frame.subspan(kImageHeaderLength, frame.size() - kFrameOverhead);
  if (frame[4] == kCmdRequest) return HandleRequest(frame[5], frame[6]);
  if (frame[4] == kCmdWrite) return HandleWrite(frame[5], frame[6], frame[7], data);
  return {};
}

std::vector<Bytes> ProcessorState::HandleRequest(std::uint8_t bank, std::uint8_t object_code) {
  switch (object_code) {
    case kObjImage:
      if (bank == 0) return {ImageReply(0)};
      if (!IsPresetSlot(bank)) return {};
      // A recall: the processor takes the slot's settings and reports them.
      SetLiveImage(presets_[bank - 1].image);
      settings_.current_preset = bank;
      return {ImageReply(bank)};
    case kObjPresetNames:
      return {NamesReply()};
    case kObjDeviceSettings:
      return {SettingsReply()};
    case kObjPoll:
      return {PollReply()};
    case kObjPresetImage:
      if (!IsPresetSlot(bank)) return {};
      return {Reply(kCmdData, bank, kObjPresetImage, presets_[bank - 1].image)};
    default:
      return {};
  }
}

std::vector<Bytes> ProcessorState::HandleWrite(std::uint8_t bank, std::uint8_t object_code,
                                               std::uint8_t index,
                                               std::span<const std::uint8_t> data) {
  if (object_code < kChannelCount) {
    if (data.size() != kShortAnswerLength || index >= BlockCount(object_code)) return {};
    const std::size_t first = 8 * ImageRecordOfBlock(object_code, index);
    std::copy(data.begin(), data.end(), live_.begin() + first);
    return {};
  }
  switch (object_code) {
    case kObjImage:
    case kObjPresetImage: {
      if (data.size() != kImageDataLength) return {};
      SimImage image{};
      std::copy(data.begin(), data.end(), image.begin());
      if (object_code == kObjImage && bank == 0) SetLiveImage(image);
      if (object_code == kObjPresetImage && IsPresetSlot(bank)) presets_[bank - 1].image = image;
      return {};
    }
    case kObjStorePreset: {
      if (data.size() != kNameFieldLength || !IsPresetSlot(bank)) return {};
      const auto end = std::find(data.begin(), data.end(), 0);
      const std::string name(data.begin(), end);
      SetPreset(bank, live_, name);
      settings_.current_preset = bank;
      return {Reply(kCmdAck, 0, 0, {})};
    }
    case kObjUnlock:
      if (data.size() != kShortAnswerLength) return {};
      if (password_.size() == kPasswordLength &&
          std::equal(password_.begin(), password_.end(), data.begin())) {
        SetLocked(false);
      }
      return {LockResult(kObjUnlock, data)};
    case kObjLock:
      if (data.size() != kShortAnswerLength) return {};
      if (refuse_lock_) return {LockResult(kObjLock, data)};
      password_.assign(data.begin(), data.begin() + kPasswordLength);
      SetLocked(true);
      return {LockResult(kObjLock, data)};
    case kObjDeviceSettings:
      if (data.size() != kShortAnswerLength) return {};
      if (IsPresetSlot(data[0])) settings_.current_preset = data[0];
      settings_.setting1 = data[1];
      settings_.setting2 = data[2];
      if (data[3] != 0 && !keep_device_number_) settings_.device_number = data[3];
      return {Reply(kCmdAck, 0, kObjDeviceSettings, {})};
    default:
      return {};
  }
}

}  // namespace veltrane
