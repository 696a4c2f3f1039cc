// The replies the editor knows, one row and one handler each. Every reply arrives as a
// whole, checked frame (the frame reader's work); a frame no row knows (the acknowledge of
// a parameter write, for one) is passed over.

#include <algorithm>

#include "model/image_codec.h"
#include "protocol/engine.h"
#include "protocol/engine_timers.h"

namespace veltrane {

struct ProtocolEngine::ReplyRow {
  std::uint8_t command;
  std::uint8_t object;
  std::size_t min_length;  // of the data, in bytes
  std::size_t max_length;
  void (ProtocolEngine::*handle)(const Frame& frame);
};

std::span<const ProtocolEngine::ReplyRow> ProtocolEngine::ReplyTable() {
  using E = ProtocolEngine;
  static constexpr ReplyRow kRows[] = {
      // The keep-alive answer, short or long: the arrival itself is the sign of life.
      {kCmdData, kObjPoll, 8, 8, &E::OnPollAnswer},
      {kCmdData, kObjPoll, 20, 20, &E::OnPollAnswer},
      // The processor's name, asked for again by a processor that sends it first.
      {kCmdData, kObjIdentity, 24, 24, &E::OnIdentity},
      // Results of a password (unlock) and of locking the front panel.
      {kCmdAck, kObjUnlock, 8, 8, &E::OnUnlockReply},
      {kCmdAck, kObjLock, 8, 8, &E::OnLockReply},
      // The processor's settings changed on its front panel: show the controls again.
      {kCmdAck, kObjRefresh, 0, 0, &E::OnRefreshRequest},
      // Device settings: current preset, two setting bytes, device number.
      {kCmdData, kObjDeviceSettings, 8, 8, &E::OnDeviceSettings},
      {kCmdAck, kObjDeviceSettings, 0, 0, &E::OnSettingsWriteAck},
      // The acknowledge with no object (a stored preset's name, for one).
      {kCmdAck, 0x00, 0, 0, &E::OnPlainAck},
      // One stored preset's image, as a 20-group backup reads them.
      {kCmdData, kObjPresetImage, kImageDataLength, kImageDataLength, &E::OnBackupRecord},
      // The live parameter image.
      {kCmdData, kObjImage, kImageDataLength, kImageDataLength, &E::OnImage},
      // The 20 preset names, 20 bytes each.
      {kCmdData, kObjPresetNames, 400, kImageDataLength, &E::OnPresetNames},
  };
  return kRows;
}

void ProtocolEngine::OnBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  t_->connect_timeout->Stop();  // any arrival is a sign of life
  t_->poll_timeout->Stop();
  reader_.Feed(bytes, timers_.NowMs());
}

void ProtocolEngine::Dispatch(const Frame& frame) {
  for (const ReplyRow& row : ReplyTable()) {
    if (row.command == frame.command && row.object == frame.object &&
        frame.data.size() >= row.min_length && frame.data.size() <= row.max_length) {
      (this->*row.handle)(frame);
      return;
    }
  }
}

std::string_view ProtocolEngine::ReplyText(const Frame& frame) {
  reply_text_.clear();
  AppendHex(reply_text_, frame.bytes);
  return reply_text_;
}

void ProtocolEngine::OnPollAnswer(const Frame& /*frame*/) {}

void ProtocolEngine::OnIdentity(const Frame& frame) {
  const bool matches = std::equal(kIdentityText.begin(), kIdentityText.end(), frame.data.begin(),
                                  [](char c, std::uint8_t b) { return static_cast<char>(b) == c; });
  // Only a connection asks again; an identity with no connection open (the device link
  // delivers all the same) must not arm time-outs that would later report a failure.
  if (matches && connected_) ContinueAfterIdentity();
}

void ProtocolEngine::OnUnlockReply(const Frame& frame) { hooks_->OnUnlockResult(frame.data[6]); }

void ProtocolEngine::OnLockReply(const Frame& frame) { hooks_->OnLockResult(frame.data[6]); }

void ProtocolEngine::OnRefreshRequest(const Frame& /*frame*/) {
  view_.ApplyModelToControls();
  // Only a processor that is connected can have changed the settings the editor holds.
  if (connected_) hooks_->OnImageApplied();
  view_.ShowMessage("OK");
}

void ProtocolEngine::OnDeviceSettings(const Frame& frame) {
  hooks_->OnDeviceSettings({frame.data[0], frame.data[1], frame.data[2], frame.data[3]});
}

void ProtocolEngine::OnSettingsWriteAck(const Frame& /*frame*/) {}

void ProtocolEngine::OnPlainAck(const Frame& /*frame*/) { hooks_->OnPlainAck(); }

// Records nobody claimed (no backup is reading) are passed over.
void ProtocolEngine::OnBackupRecord(const Frame& frame) { ToClaim(frame); }

// The image ends a connection's handshake unless an operation claimed it (a file save
// takes it unapplied, a recall has it applied and ends there).
void ProtocolEngine::OnImage(const Frame& frame) {
  t_->image_timeout->Stop();
  if (ToClaim(frame)) return;
  ApplyReceivedImage(frame);
  FinishConnect();
}

void ProtocolEngine::ApplyReceivedImage(const Frame& frame) {
  ApplyImage([&] { DecodeParameterImageData(frame.data, model_); });
  view_.SetPortListsEnabled(false);
}

void ProtocolEngine::ClaimReplies(std::uint8_t object, ReplyClaim claim) {
  ReleaseReplies(object);
  claims_.emplace_back(object, std::move(claim));
}

void ProtocolEngine::ReleaseReplies(std::uint8_t object) {
  std::erase_if(claims_, [object](const auto& c) { return c.first == object; });
}

bool ProtocolEngine::Claimed(std::uint8_t object) const {
  return std::any_of(claims_.begin(), claims_.end(),
                     [object](const auto& c) { return c.first == object; });
}

bool ProtocolEngine::ToClaim(const Frame& frame) {
  for (const auto& [object, claim] : claims_) {
    if (object != frame.object) continue;
    // The owner may release its claim from inside: run a copy.
    const ReplyClaim owner = claim;
    owner(frame, ReplyText(frame));
    return true;
  }
  return false;
}

void ProtocolEngine::OnPresetNames(const Frame& frame) {
  t_->names_timeout->Stop();
  hooks_->OnPresetNames(DecodePresetNames(frame.data));
  // Names that come after the disconnect (the device link delivers all the same) are
  // shown, but start nothing: a scheduler left running would poll into the next
  // connection's image.
  if (connected_) {
    MarkSlot(kSettingsRequestSlot);
    StartScheduler();
    attempt_active_ = false;  // the handshake is complete
  }
}

std::array<std::string, 20> DecodePresetNames(std::span<const std::uint8_t> data) {
  std::array<std::string, 20> names;
  for (std::size_t n = 0; n < names.size(); ++n) {
    for (std::size_t i = 20 * n; i < 20 * (n + 1) && i < data.size() && data[i] != 0; ++i) {
      names[n].push_back(static_cast<char>(data[i]));
    }
  }
  return names;
}

}  // namespace veltrane
