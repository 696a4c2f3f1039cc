#include "storage/device_presets.h"

#include "storage/windows1252.h"

namespace veltrane {
namespace {

constexpr int kRecallTimeoutMs = 12000;
constexpr int kRecallTickMs = 400;
constexpr int kStoredMessageDelayMs = 10;
constexpr int kStoreWaitMs = 500;
constexpr int kRecallWaitMs = 50;

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return text;
}

// One byte per character; a malformed or unencodable character becomes '?'.
std::string ToNameBytes(std::string_view utf8) {
  std::string bytes;
  std::size_t i = 0;
  while (i < utf8.size()) {
    // Find the end of this character, then convert it alone.
    std::size_t end = i + 1;
    while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) ++end;
    const std::optional<std::string> one = EncodeWindows1252(utf8.substr(i, end - i));
    bytes += one ? *one : std::string("?");
    i = end;
  }
  return bytes;
}

}  // namespace

void PresetNameTable::ReplaceAll(const std::array<std::string, kPresetCount>& raw_names) {
  for (int i = 0; i < kPresetCount; ++i) names_[i] = DecodeWindows1252(raw_names[i]);
}

std::array<std::string, kPresetCount> PresetNameTable::ListEntries() const {
  std::array<std::string, kPresetCount> entries;
  for (int i = 0; i < kPresetCount; ++i) {
    entries[i] = "Pre" + std::to_string(i + 1) + ":" + names_[i];
  }
  return entries;
}

std::string PresetNameBytes(std::string_view utf8_text) {
  std::string bytes = ToNameBytes(Trimmed(utf8_text));
  if (bytes.size() > kPresetNameMaxBytes) bytes.resize(kPresetNameMaxBytes);
  return bytes;
}

bool IsStorablePresetName(std::string_view utf8_text) {
  const std::optional<std::string> bytes = EncodeWindows1252(utf8_text);
  if (!bytes || bytes->size() > kPresetNameMaxBytes) return false;
  for (char c : *bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < ' ' || b == 0x7F) return false;
  }
  return true;
}

DevicePresets::DevicePresets(TimerHost& timers, ProtocolEngine& engine, OperationView& view,
                             PresetView& presets, OperationGate& gate)
    : timers_(timers), engine_(engine), view_(view), presets_(presets), gate_(gate) {
  recall_timeout_ =
      timers_.CreateTimer("recall_timeout", kRecallTimeoutMs, [this] { OnRecallTimeout(); });
  recall_progress_ =
      timers_.CreateTimer("recall_progress", kRecallTickMs, [this] { OnRecallTick(); });
  stored_message_ = timers_.CreateTimer("stored_message", kStoredMessageDelayMs, [this] {
    stored_message_->Stop();
    view_.ShowMessage(kMsgStored);
    Report({.operation = Operation::kStorePreset, .text = std::string(kMsgStored)});
  });
}

DevicePresets::~DevicePresets() { *alive_ = false; }

bool DevicePresets::SameConnection(std::uint64_t epoch) const {
  return engine_.Connected() && engine_.ConnectionEpoch() == epoch;
}

void DevicePresets::StorePreset() {
  if (!engine_.Connected()) {
    view_.ShowStatus(StatusNote::kNotConnected);
    return;
  }
  if (gate_.Busy()) {
    Report({.operation = Operation::kStorePreset, .kind = OutcomeKind::kBusy});
    return;
  }
  const std::uint64_t epoch = engine_.ConnectionEpoch();
  view_.AskYesNo(kPresetQuestion, kQuestionCaption,
                 [this, alive = std::weak_ptr<bool>(alive_), epoch](bool yes) {
                   if (alive.expired() || !yes || !SameConnection(epoch)) return;
                   SendStore(presets_.SlotSelectorPosition() + 1, presets_.NameBoxText());
                 });
}

void DevicePresets::SendStore(int slot, std::string_view text) {
  if (slot < 1 || slot > kPresetCount) return;
  if (!gate_.TryEnter()) {
    Report({.operation = Operation::kStorePreset, .kind = OutcomeKind::kBusy});
    return;
  }
  const std::string bytes = PresetNameBytes(text);
  engine_.StopScheduler();
  store_pending_ = true;
  store_in_flight_ = true;
  engine_.SendFrame(BuildNameWrite(engine_.DeviceId(), static_cast<std::uint8_t>(slot), bytes));
  names_.SetName(slot, DecodeWindows1252(bytes));
  presets_.ShowPresetList(names_.ListEntries(), slot - 1);
  active_preset_ = slot;
  const std::uint64_t epoch = engine_.ConnectionEpoch();
  timers_.Defer(kStoreWaitMs, [this, alive = std::weak_ptr<bool>(alive_), epoch] {
    if (alive.expired() || !store_in_flight_) return;
    store_in_flight_ = false;
    gate_.Leave();
    if (SameConnection(epoch)) engine_.StartScheduler();
  });
}

void DevicePresets::LoadPreset() {
  view_.HideDetailWindow();
  if (!engine_.Connected()) {
    view_.ShowStatus(StatusNote::kNotConnected);
    return;
  }
  const int position = presets_.PresetListPosition();
  if (position < 0 || position >= kPresetCount || !engine_.Connected()) return;
  if (!gate_.TryEnter()) {
    Report({.operation = Operation::kRecallPreset, .kind = OutcomeKind::kBusy});
    return;
  }
  recall_pending_ = true;
  // The image that answers the recall is shown like any image, and ends the recall rather
  // than a connection's handshake.
  engine_.ClaimReplies(kObjImage, [this](const Frame& frame, std::string_view /*text*/) {
    engine_.ApplyReceivedImage(frame);
    ImageEndsRecall();
  });
  recall_preset_ = position + 1;
  engine_.StopScheduler();
  const std::uint64_t epoch = engine_.ConnectionEpoch();
  timers_.Defer(kRecallWaitMs, [this, alive = std::weak_ptr<bool>(alive_), epoch, position] {
    if (alive.expired() || !recall_pending_ || !SameConnection(epoch)) return;
    SendRecall(position + 1);
  });
}

void DevicePresets::SendRecall(int preset) {
  engine_.DiscardReceived();
  engine_.SendFrame(
      BuildShortRequest(engine_.DeviceId(), static_cast<std::uint8_t>(preset), kObjImage));
  recall_ticks_ = 0;
  recall_timeout_->Start();
  recall_progress_->Start();
  view_.SetTransferProgress(0);
  view_.ShowTransferBox(true);
  view_.SetOperationPanelsEnabled(false);
}

void DevicePresets::EndRecall() {
  recall_pending_ = false;
  engine_.ReleaseReplies(kObjImage);
  gate_.Leave();
  recall_timeout_->Stop();
  recall_progress_->Stop();
  view_.ShowTransferBox(false);
  view_.SetOperationPanelsEnabled(true);
}

bool DevicePresets::ImageEndsRecall() {
  if (!recall_pending_) return false;
  EndRecall();
  // The processor now holds the recalled preset; "Change" sends it back as current.
  active_preset_ = recall_preset_;
  engine_.StartScheduler();  // no names request after a recall
  Report({.operation = Operation::kRecallPreset});
  return true;
}

void DevicePresets::OnRecallTimeout() {
  EndRecall();
  // The preset that never loaded must not look loaded.
  presets_.SelectPreset(active_preset_ <= kPresetCount ? active_preset_ - 1 : -1);
  if (engine_.Connected()) engine_.StartScheduler();
  view_.ShowMessage(kMsgOvertimeShort);
  Report({.operation = Operation::kRecallPreset,
          .kind = OutcomeKind::kNoAnswer,
          .text = std::string(kMsgOvertimeShort)});
}

void DevicePresets::OnRecallTick() {
  ++recall_ticks_;
  view_.SetTransferProgress(recall_ticks_ * 5);
  if (recall_ticks_ >= 20) recall_progress_->Stop();
}

void DevicePresets::SlotSelectorChanged(int position) {
  if (position < 0 || position >= kPresetCount) return;
  presets_.SetNameBoxText(names_.Name(position + 1));
}

void DevicePresets::OnPresetNames(const std::array<std::string, kPresetCount>& raw_names) {
  names_.ReplaceAll(raw_names);
  ++names_received_;
  presets_.ShowPresetList(names_.ListEntries(), 0);
  SlotSelectorChanged(presets_.SlotSelectorPosition());
}

void DevicePresets::OnPlainAck() {
  if (!store_pending_) return;
  store_pending_ = false;
  stored_message_->Start();
}

void DevicePresets::OnActivePreset(std::uint8_t preset) {
  active_preset_ = preset < 1 ? 1 : preset;
  // A number the list does not have selects nothing rather than a wrong entry.
  presets_.SelectPreset(active_preset_ <= kPresetCount ? active_preset_ - 1 : -1);
}

void DevicePresets::OnConnectionClosed() {
  // An acknowledge or an image that comes after this belongs to no operation of ours.
  store_pending_ = false;
  if (store_in_flight_) {
    store_in_flight_ = false;
    gate_.Leave();
  }
  if (recall_pending_) {
    EndRecall();
    Report({.operation = Operation::kRecallPreset, .kind = OutcomeKind::kLinkLost});
  }
}

}  // namespace veltrane
