#include "protocol/engine.h"

#include <algorithm>

#include "model/image_codec.h"
#include "protocol/engine_timers.h"

namespace veltrane {

ProtocolEngine::ProtocolEngine(TimerHost& timers, ParameterModel& model, ConnectionView& view)
    : timers_(timers),
      model_(model),
      view_(view),
      reader_(kProcessorFrames, [this](const Frame& frame) { Dispatch(frame); }),
      t_(std::make_unique<TimerSet>()) {
  reply_text_.reserve(kImageTextLength);
  tx_frame_.reserve(kLongWriteBlockLength);
  t_->slot_scan = timers_.CreateTimer("slot_scan", 10, [this] { OnSlotScan(); });
  t_->send_delay = timers_.CreateTimer("send_delay", 200, [this] { OnSendDelay(); });
  t_->send_rest = timers_.CreateTimer("send_rest", 300, [this] { OnSendRest(); });
  t_->poll = timers_.CreateTimer("poll", 500, [this] { OnPoll(); });
  t_->poll_timeout = timers_.CreateTimer("poll_timeout", 2000, [this] { OnPollTimeout(); });
  t_->connect_timeout = timers_.CreateTimer("connect_timeout", 2000,
                                            [this] { OnConnectTimeout(ConnectWait::kAnyAnswer); });
  t_->image_timeout =
      timers_.CreateTimer("image_timeout", 3000, [this] { OnConnectTimeout(ConnectWait::kImage); });
  t_->names_timeout =
      timers_.CreateTimer("names_timeout", 3000, [this] { OnConnectTimeout(ConnectWait::kNames); });
  t_->connect_progress =
      timers_.CreateTimer("connect_progress", 100, [this] { OnConnectProgress(); });
  t_->lamp = timers_.CreateTimer("lamp", 100, [this] { view_.SetLamp(connected_); });
}

ProtocolEngine::~ProtocolEngine() = default;

void ProtocolEngine::SetHooks(ReplyHooks* hooks) {
  hooks_ = hooks != nullptr ? hooks : &default_hooks_;
}

void ProtocolEngine::Start() {
  view_.SetLamp(connected_);
  view_.SetConnectCaption(kCaptionDisconnected);
  t_->lamp->Start();
}

void ProtocolEngine::SelectPort(std::string name, int number) {
  selected_port_ = std::move(name);
  selected_port_number_ = number;
  port_selected_ = true;
}

// ---------------------------------------------------------------------------------------
// Send slots and their timer chain

void ProtocolEngine::QueueSlotFrame(int slot, const WriteFrame& frame) {
  if (!connected_) return;
  slots_.Store(slot, frame);
}

void ProtocolEngine::SendFrame(std::span<const std::uint8_t> frame) {
  tx_frame_.assign(frame.begin(), frame.end());
  SendNow();
}

// The device link is there only while its device is, and a connection runs over it as
// soon as it is: it needs no open port and no connection check.
void ProtocolEngine::SendNow() {
  if (device_link_ != nullptr) {
    device_link_->Write(tx_frame_);
  } else if (serial_ != nullptr && serial_->IsOpen() && connected_ && !tx_frame_.empty()) {
    serial_->Write(tx_frame_);
  }
}

ByteLink* ProtocolEngine::ActiveLink() const {
  if (device_link_ != nullptr) return device_link_;
  if (serial_ != nullptr && serial_->IsOpen()) return serial_;
  return nullptr;
}

void ProtocolEngine::StartScheduler() {
  poll_held_ = false;
  scan_held_ = false;
  t_->poll->Start();
  t_->slot_scan->Start();
}

void ProtocolEngine::StartPoll() {
  poll_held_ = false;
  t_->poll->Start();
}

// An operation that stops the poll or the scan holds it until it restarts it itself: a
// slot frame already on its way out must not restart them when its chain ends, or a
// poll would drop the part of the operation's answer that has already arrived.
void ProtocolEngine::StopPoll() {
  poll_held_ = true;
  t_->poll->Stop();
  t_->poll_timeout->Stop();
}

void ProtocolEngine::StopScheduler() {
  StopPoll();
  scan_held_ = true;
  t_->slot_scan->Stop();
}

void ProtocolEngine::OnSlotScan() {
  if (!connected_) return;
  const int slot = slots_.LowestPending();
  if (slot == 0) return;
  current_slot_ = slot;
  slots_.Clear(slot);
  t_->slot_scan->Stop();
  t_->poll->Stop();
  t_->poll_timeout->Stop();
  t_->send_delay->Start();
}

void ProtocolEngine::OnSendDelay() {
  if (!connected_) return;
  t_->send_delay->Stop();
  // The frame as it is at this moment: a change between choosing and sending is carried.
  if (current_slot_ == kSettingsRequestSlot) {
    SendFrame(BuildSettingsRequest(device_id_));
  } else if (slots_.HasFrame(current_slot_)) {
    SendFrame(slots_.Frame(current_slot_));
  }
  current_slot_ = 0;
  t_->send_rest->Start();
}

void ProtocolEngine::OnSendRest() {
  t_->send_rest->Stop();
  if (!poll_held_) t_->poll->Start();
  if (!scan_held_) t_->slot_scan->Start();
}

void ProtocolEngine::OnPoll() {
  if (!connected_) return;
  reader_.Reset();  // anything half received is dropped
  SendFrame(BuildShortRequest(device_id_, 0, kObjPoll));
  t_->poll_timeout->Start();
}

void ProtocolEngine::OnPollTimeout() {
  t_->poll_timeout->Stop();
  CloseConnection([this] {
    view_.ShowMessage(kMsgInterrupt);
    Report({.kind = OutcomeKind::kLinkLost, .text = std::string(kMsgInterrupt)});
  });
}

void ProtocolEngine::ApplyImage(const std::function<void()>& decode) {
  // Applied state is never echoed back: the control updates it causes build nothing, and
  // whatever was queued meanwhile is dropped.
  const bool was_connected = connected_;
  connected_ = false;
  view_.HideDetailWindow();
  decode();
  view_.ApplyModelToControls();
  ClearSendSlots();
  connected_ = was_connected;
  hooks_->OnImageApplied();
}

void ProtocolEngine::ApplyImageText(std::string_view text) {
  ApplyImage([&] { DecodeParameterImage(text, model_, {.read_lock = false}); });
  reader_.Reset();
}

void ProtocolEngine::FinishConnect() {
  EndConnectingBox();
  if (model_.panel_locked == 1) hooks_->ShowUnlock();
  // An image that arrives while no connection is open is shown, but starts nothing.
  if (!connected_) return;
  reader_.Reset();
  SendFrame(BuildShortRequest(device_id_, 0, kObjPresetNames));
}

// ---------------------------------------------------------------------------------------
// Connection

void ProtocolEngine::ConnectButtonClicked() {
  if (closing_) return;
  if (caption_connected_) {
    CloseConnection();
  } else if (!attempt_active_) {
    OpenConnection();
  }
}

void ProtocolEngine::OpenConnection() {
  const std::uint64_t attempt = ++attempt_;
  attempt_active_ = true;
  identity_seen_ = false;
  poll_held_ = false;
  scan_held_ = false;
  StopSchedulerTimers();
  view_.HideDetailWindow();
  connect_ticks_ = 0;
  view_.SetConnectingProgress(0);
  view_.ShowConnectingBox(true);
  t_->connect_progress->Start();
  view_.SetPanelsEnabled(false);
  // The port is fixed here: a list refresh during the wait below must not change it.
  if (port_selected_) {
    com_port_number_ = selected_port_number_;
    connect_port_ = selected_port_;
  }
  timers_.Defer(100, [this, attempt] { CloseBeforeOpening(attempt); });
}

void ProtocolEngine::CloseBeforeOpening(std::uint64_t attempt) {
  if (attempt != attempt_) return;
  ClearSendSlots();
  if (connected_) {
    if (serial_ != nullptr) serial_->Close();
    timers_.Defer(100, [this, attempt] { OpenLink(attempt); });
    return;
  }
  OpenLink(attempt);
}

void ProtocolEngine::OpenLink(std::uint64_t attempt) {
  if (attempt != attempt_) return;
  // Whatever ran during the waits, the connection starts from a stopped scheduler: the
  // first poll must not come before the names.
  StopSchedulerTimers();
  if (device_link_ != nullptr) {
    connected_ = true;
    com_port_number_ = kComPortHid;
  } else {
    connected_ = serial_ != nullptr && port_selected_ && serial_->Open(connect_port_);
    if (!connected_) {
      com_port_number_ = kComPortFailed;
      attempt_active_ = false;
      EndConnectingBox();
      // Only an Open that ran has a reason to give.
      const bool opened = serial_ != nullptr && port_selected_;
      const std::string note = opened ? serial_->OpenFailureNote() : std::string();
      if (note.empty()) {
        view_.ShowMessage(kMsgNoPort);
      } else {
        view_.ShowMessageWithNote(kMsgNoPort, note);
      }
      Report({.kind = OutcomeKind::kNoPort,
              .file = connect_port_,
              .text = std::string(kMsgNoPort),
              .reason = opened ? serial_->OpenFailureReason() : std::string(),
              .note = note});
      return;
    }
  }
  RequestImageAndArm();
  caption_connected_ = true;
  view_.SetConnectCaption(kCaptionConnected);
}

// Only the 2 s time-out was stopped by the arrival, so only it gets a new count.
void ProtocolEngine::ContinueAfterIdentity() {
  identity_seen_ = true;
  RequestImageAndArm();
}

void ProtocolEngine::RequestImageAndArm() {
  reader_.Reset();
  SendFrame(BuildShortRequest(device_id_, 0, kObjImage));
  // A running time-out keeps its count: the image and the names are due 3 s after the click.
  t_->connect_timeout->Start();
  t_->image_timeout->Start();
  t_->names_timeout->Start();
}

void ProtocolEngine::EndConnectingBox() {
  view_.ShowConnectingBox(false);
  t_->connect_progress->Stop();
  view_.SetPanelsEnabled(true);
}

void ProtocolEngine::OnConnectTimeout(ConnectWait which) {
  if (which == ConnectWait::kAnyAnswer) t_->connect_timeout->Stop();
  if (which != ConnectWait::kNames) t_->image_timeout->Stop();
  t_->names_timeout->Stop();
  CloseConnection([this] {
    view_.ShowMessage(kMsgOvertime);
    Report({.kind = OutcomeKind::kNoAnswer, .text = std::string(kMsgOvertime)});
  });
}

void ProtocolEngine::OnConnectProgress() {
  ++connect_ticks_;
  view_.SetConnectingProgress(std::min(100, connect_ticks_ * 5));
  if (connect_ticks_ >= 100) t_->connect_progress->Stop();
}

void ProtocolEngine::StopSchedulerTimers() {
  t_->poll->Stop();
  t_->poll_timeout->Stop();
  t_->slot_scan->Stop();
  t_->send_delay->Stop();
  t_->send_rest->Stop();
  current_slot_ = 0;
}

void ProtocolEngine::StopAllConnectionTimers() {
  StopSchedulerTimers();
  t_->connect_timeout->Stop();
  t_->image_timeout->Stop();
  t_->names_timeout->Stop();
}

void ProtocolEngine::CloseConnection(std::function<void()> then) {
  const std::uint64_t attempt = ++attempt_;  // voids the continuations of the attempt
  attempt_active_ = false;
  closing_ = true;
  EndConnectingBox();
  view_.SetPortListsEnabled(true);
  StopAllConnectionTimers();
  tx_frame_.clear();
  com_port_number_ = kComPortClosed;
  // A last receive notification may still be handled before the port goes.
  timers_.Defer(50, [this, attempt, then = std::move(then)] {
    if (attempt == attempt_) {
      // Replies handled during the wait may have restarted the scheduler.
      StopAllConnectionTimers();
      if (serial_ != nullptr) serial_->Close();
      connected_ = false;
      closing_ = false;
      view_.ResetEditingState();
      caption_connected_ = false;
      view_.SetConnectCaption(kCaptionDisconnected);
      hooks_->OnConnectionClosed();
    }
    if (then) then();
  });
}

// ---------------------------------------------------------------------------------------
// Long writes

void ProtocolEngine::SendLongWriteHeader(std::uint8_t bank, std::uint8_t object_code) {
  SendFrame(BuildLongWriteHeader(device_id_, bank, object_code));
}

void ProtocolEngine::SendImageBlock(std::string_view image_text, std::uint8_t object_code,
                                    std::uint8_t bank) {
  if (!connected_) return;
  std::array<std::uint8_t, kImageDataLength> data{};
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = HexByteAt(image_text, 21 + 2 * i);
  const LongWriteBlock block = BuildLongWriteBlock(device_id_, bank, object_code, data);
  tx_frame_.assign(block.begin(), block.end());
  if (ByteLink* link = ActiveLink()) link->Write(tx_frame_);
}

}  // namespace veltrane
