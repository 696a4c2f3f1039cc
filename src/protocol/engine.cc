#include "protocol/engine.h"

#include <algorithm>

#include "model/image_codec.h"

namespace veltrane {

// The timers of the send chain and of the connection, all created disabled.
class ProtocolEngine::TimerSet {
 public:
  std::unique_ptr<Timer> send_timer, timer7, timer4, timer1, intimer;
  std::unique_ptr<Timer> chcon, chcon112, chcon188, timer10, timer_onoff;
};

namespace {
constexpr std::size_t kRxLimit = 1500;
}  // namespace

ProtocolEngine::ProtocolEngine(TimerHost& timers, ParameterModel& model, ConnectionView& view)
    : timers_(timers), model_(model), view_(view), t_(std::make_unique<TimerSet>()) {
  rx_hex_buffer_.reserve(2 * kRxLimit + 256);
  tx_frame_.reserve(kLongWriteBlockLength);
  hid_rx_text_.reserve(kImageTextLength + 256);
  t_->send_timer = timers_.CreateTimer("sendTimer", 10, [this] { OnSendTimer(); });
  t_->timer7 = timers_.CreateTimer("Timer7", 200, [this] { OnTimer7(); });
  t_->timer4 = timers_.CreateTimer("Timer4", 300, [this] { OnTimer4(); });
  t_->timer1 = timers_.CreateTimer("Timer1", 500, [this] { OnTimer1(); });
  t_->intimer = timers_.CreateTimer("intimer", 2000, [this] { OnIntimer(); });
  t_->chcon = timers_.CreateTimer("chcon", 2000, [this] { OnConnectTimeout(0); });
  t_->chcon112 = timers_.CreateTimer("chcon112", 3000, [this] { OnConnectTimeout(1); });
  t_->chcon188 = timers_.CreateTimer("chcon188", 3000, [this] { OnConnectTimeout(2); });
  t_->timer10 = timers_.CreateTimer("Timer10", 100, [this] { OnTimer10(); });
  t_->timer_onoff = timers_.CreateTimer("TimerONOFF", 100, [this] { view_.SetLamp(connected_); });
}

ProtocolEngine::~ProtocolEngine() = default;

void ProtocolEngine::SetHidPort(HidPort* port) { hid_ = port; }

void ProtocolEngine::SetHooks(ReplyHooks* hooks) {
  hooks_ = hooks != nullptr ? hooks : &default_hooks_;
}

void ProtocolEngine::Start() {
  view_.SetLamp(connected_);
  view_.SetConnectCaption(kCaptionDisconnected);
  t_->timer_onoff->Start();
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
  hid_out_report_.fill(0);
  std::copy_n(frame.begin(), std::min(frame.size(), kHidDataSize), hid_out_report_.begin() + 1);
  SendNow();
}

void ProtocolEngine::SendNow() {
  if (hid_ != nullptr) {
    hid_->WriteReport(hid_out_report_);
  } else if (serial_ != nullptr && serial_->IsOpen() && connected_ && !tx_frame_.empty()) {
    serial_->Write(tx_frame_);
  }
}

void ProtocolEngine::StartScheduler() {
  poll_held_ = false;
  scan_held_ = false;
  t_->timer1->Start();
  t_->send_timer->Start();
}

void ProtocolEngine::StartPoll() {
  poll_held_ = false;
  t_->timer1->Start();
}

// An operation that stops the poll or the scan holds it until it restarts it itself: a
// slot frame already on its way out must not restart them when its chain ends, or a
// poll would empty the receive buffer in the middle of the operation's answer.
void ProtocolEngine::StopPoll() {
  poll_held_ = true;
  t_->timer1->Stop();
  t_->intimer->Stop();
}

void ProtocolEngine::StopScheduler() {
  StopPoll();
  scan_held_ = true;
  t_->send_timer->Stop();
}

void ProtocolEngine::OnSendTimer() {
  if (!connected_) return;
  const int slot = slots_.LowestPending();
  if (slot == 0) return;
  current_slot_ = slot;
  slots_.Clear(slot);
  t_->send_timer->Stop();
  t_->timer1->Stop();
  t_->intimer->Stop();
  t_->timer7->Start();
}

void ProtocolEngine::OnTimer7() {
  if (!connected_) return;
  t_->timer7->Stop();
  // The frame as it is at this moment: a change between choosing and sending is carried.
  if (current_slot_ == kSettingsRequestSlot) {
    SendFrame(BuildSettingsRequest(device_id_));
  } else if (slots_.HasFrame(current_slot_)) {
    SendFrame(slots_.Frame(current_slot_));
  }
  current_slot_ = 0;
  t_->timer4->Start();
}

void ProtocolEngine::OnTimer4() {
  t_->timer4->Stop();
  if (!poll_held_) t_->timer1->Start();
  if (!scan_held_) t_->send_timer->Start();
}

void ProtocolEngine::OnTimer1() {
  if (!connected_) return;
  rx_hex_buffer_.clear();  // anything half received is dropped
  SendFrame(BuildShortRequest(device_id_, 0, kObjPoll));
  t_->intimer->Start();
}

void ProtocolEngine::OnIntimer() {
  t_->intimer->Stop();
  CloseConnection([this] {
    view_.ShowMessage(kMsgInterrupt);
    Report({.kind = OutcomeKind::kLinkLost, .text = std::string(kMsgInterrupt)});
  });
}

// ---------------------------------------------------------------------------------------
// Incoming

void ProtocolEngine::OnSerialBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  AppendHex(rx_hex_buffer_, bytes);
  DispatchReplies();
}

void ProtocolEngine::ResetHidCollector() {
  hid_rx_text_.clear();
  hid_rx_collecting_ = false;
}

void ProtocolEngine::OnHidReport(std::span<const std::uint8_t> data) {
  data = data.first(std::min(data.size(), kHidDataSize));
  if (!hid_rx_collecting_) {
    static constexpr std::uint8_t kStart[] = {kStartByte, kStartByte, kStartByte};
    if (data.size() < 10 || !std::equal(std::begin(kStart), std::end(kStart), data.begin())) {
      return;
    }
    hid_rx_text_.clear();
    AppendHex(hid_rx_text_, data.first(10));
    hid_rx_length_ = static_cast<std::size_t>(data[8]) * 256 + data[9];
    hid_rx_report_count_ = 0;
    hid_rx_collecting_ = true;
    return;  // the frame's data come in the following reports only
  }
  if (hid_rx_report_count_ == hid_rx_length_ / kHidDataSize) {
    // Last report: remaining data bytes, checksum and AA. A length whose remainder leaves
    // no room for them takes what the report holds.
    const std::size_t tail = std::min(hid_rx_length_ % kHidDataSize + 2, data.size());
    AppendHex(hid_rx_text_, data.first(tail));
    ++hid_rx_report_count_;
    rx_hex_buffer_.swap(hid_rx_text_);  // the dispatcher empties the collector anyway
    DispatchReplies();
    return;
  }
  AppendHex(hid_rx_text_, data);
  ++hid_rx_report_count_;
}

// erase() stops at the end of the text, so a reply that is the whole buffer empties it.
void ProtocolEngine::RemoveFront(std::size_t characters) { rx_hex_buffer_.erase(0, characters); }

void ProtocolEngine::DispatchReplies() {
  ResetHidCollector();
  t_->chcon->Stop();  // any arrival is a sign of life
  t_->intimer->Stop();

  std::string& rx = rx_hex_buffer_;
  if (rx.size() >= kRxLimit) rx.clear();
  // A read that ends inside the start marker keeps it: the rest of the frame follows.
  const bool marker_prefix = rx.size() < 6 && std::string_view("A5A5A5").starts_with(rx);
  if (!TextAt(rx, 1, "A5A5A5") && !marker_prefix) rx.clear();
  const auto len = [&rx] { return rx.size(); };
  const auto at = [&rx](std::size_t pos, std::string_view s) { return TextAt(rx, pos, s); };

  // 1: long poll answer.
  if (at(9, "52002B000014") && len() >= 64) RemoveFront(64);

  // 2: identity.
  if (at(9, "52") && at(13, "A0") && len() == 72) {
    bool matches = true;
    for (std::size_t i = 0; i < kIdentityText.size(); ++i) {
      matches = matches && HexByteAt(rx, 21 + 2 * i) == static_cast<std::uint8_t>(kIdentityText[i]);
    }
    // Only a connection asks again; an identity with no connection open (HID reports are
    // dispatched all the same) must not arm time-outs that would later report a failure.
    if (matches && connected_) ContinueAfterIdentity();
  }

  // 3, 4: unlock and lock results; the status is data byte 6. Each is taken out once
  // handled: left in the buffer it would hide the answer to a password typed again
  // before the next poll empties it.
  if (at(9, "51") && at(13, "22") && len() == 40) {
    const std::uint8_t status = HexByteAt(rx, 33);
    rx.clear();
    hooks_->OnUnlockResult(status);
  }
  if (at(9, "51") && at(13, "23") && len() == 40) {
    const std::uint8_t status = HexByteAt(rx, 33);
    rx.clear();
    hooks_->OnLockResult(status);
  }

  // 5: the processor asks the editor to show its controls again.
  if (at(9, "51") && at(13, "24") && len() == 24) {
    rx.clear();
    view_.ApplyModelToControls();
    // Only a processor that is connected can have changed the settings the editor holds.
    if (connected_) hooks_->OnImageApplied();
    view_.ShowMessage("OK");
  }

  // 6: device settings.
  if (at(9, "520021000008") && len() >= 40) {
    hooks_->OnDeviceSettings(
        {HexByteAt(rx, 21), HexByteAt(rx, 23), HexByteAt(rx, 25), HexByteAt(rx, 27)});
    rx.clear();
  }

  // 7: poll answer; the rest of the table waits for the next arrival.
  if (at(9, "52002B000008") && len() >= 40) {
    RemoveFront(40);
    return;
  }

  // 8: acknowledge of a device-settings write.
  if (at(9, "510021000000") && len() >= 24) RemoveFront(24);

  // 9: plain acknowledge.
  if (at(9, "510000000000") && len() >= 24) {
    hooks_->OnPlainAck();
    RemoveFront(24);
  }

  // 10: one record of a 20-group backup.
  if (at(9, "52") && at(13, "29") && len() >= kImageTextLength && hooks_->CollectingBackup()) {
    hooks_->OnBackupRecord(std::string_view(rx).substr(0, kImageTextLength));
    RemoveFront(kImageTextLength);
  }

  // 11: parameter image; 12 only when 11 did not match.
  if (at(9, "52") && at(13, "28") && len() == kImageTextLength) {
    t_->chcon112->Stop();
    if (hooks_->TakeImageForFile(rx)) {
      rx.clear();
      if (connected_) StartScheduler();
      return;
    }
    ApplyImage(rx);
    rx.clear();
    view_.SetPortListsEnabled(false);
    if (hooks_->ImageEndsPresetLoad()) return;
    FinishConnect();
  } else if (at(9, "520026") && len() >= 824) {
    t_->chcon188->Stop();
    hooks_->OnPresetNames(DecodePresetNames(rx));
    rx.clear();
    // Names that come after the disconnect (HID reports are dispatched all the same) are
    // shown, but start nothing: a scheduler left running would poll into the next
    // connection's image.
    if (connected_) {
      MarkSlot(kSettingsRequestSlot);
      StartScheduler();
      attempt_active_ = false;  // the handshake is complete
    }
  }
}

void ProtocolEngine::ApplyImage(std::string_view image, bool read_lock) {
  // Applied state is never echoed back: the control updates it causes build nothing, and
  // whatever was queued meanwhile is dropped.
  const bool was_connected = connected_;
  connected_ = false;
  view_.HideDetailWindow();
  DecodeParameterImage(image, model_, {.read_lock = read_lock});
  view_.ApplyModelToControls();
  ClearSendSlots();
  connected_ = was_connected;
  hooks_->OnImageApplied();
}

void ProtocolEngine::ApplyImageText(std::string_view text) {
  ApplyImage(text, /*read_lock=*/false);
  rx_hex_buffer_.clear();
}

void ProtocolEngine::FinishConnect() {
  EndConnectingBox();
  if (model_.panel_locked == 1) hooks_->ShowUnlock();
  // An image that arrives while no connection is open is shown, but starts nothing.
  if (!connected_) return;
  rx_hex_buffer_.clear();
  SendFrame(BuildShortRequest(device_id_, 0, kObjPresetNames));
}

std::array<std::string, 20> DecodePresetNames(std::string_view text) {
  std::array<std::string, 20> names;
  for (std::size_t n = 0; n < names.size(); ++n) {
    const std::size_t first = 21 + 40 * n;
    for (std::size_t i = 0; i < 20; ++i) {
      const std::uint8_t byte = HexByteAt(text, first + 2 * i);
      if (byte == 0) break;
      names[n].push_back(static_cast<char>(byte));
    }
  }
  return names;
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
  t_->timer10->Start();
  view_.SetPanelsEnabled(false);
  // The port is fixed here: a list refresh during the wait below must not change it.
  if (port_selected_) {
    com_port_number_ = selected_port_number_;
    connect_port_ = selected_port_;
  }
  timers_.Defer(100, [this, attempt] { ConnectStep4(attempt); });
}

void ProtocolEngine::ConnectStep4(std::uint64_t attempt) {
  if (attempt != attempt_) return;
  ClearSendSlots();
  if (connected_) {
    if (serial_ != nullptr) serial_->Close();
    timers_.Defer(100, [this, attempt] { ConnectStep5(attempt); });
    return;
  }
  ConnectStep5(attempt);
}

void ProtocolEngine::ConnectStep5(std::uint64_t attempt) {
  if (attempt != attempt_) return;
  // Whatever ran during the waits, the connection starts from a stopped scheduler: the
  // first poll must not come before the names.
  StopSchedulerTimers();
  if (hid_ != nullptr) {
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
  ResetHidCollector();
  RequestImageAndArm();
  caption_connected_ = true;
  view_.SetConnectCaption(kCaptionConnected);
}

// Only chcon was stopped by the arrival, so only it gets a new count.
void ProtocolEngine::ContinueAfterIdentity() {
  identity_seen_ = true;
  RequestImageAndArm();
}

void ProtocolEngine::RequestImageAndArm() {
  rx_hex_buffer_.clear();
  SendFrame(BuildShortRequest(device_id_, 0, kObjImage));
  // A running time-out keeps its count: the image and the names are due 3 s after the click.
  t_->chcon->Start();
  t_->chcon112->Start();
  t_->chcon188->Start();
}

void ProtocolEngine::EndConnectingBox() {
  view_.ShowConnectingBox(false);
  t_->timer10->Stop();
  view_.SetPanelsEnabled(true);
}

void ProtocolEngine::OnConnectTimeout(int which) {
  if (which == 0) t_->chcon->Stop();
  if (which <= 1) t_->chcon112->Stop();
  t_->chcon188->Stop();
  CloseConnection([this] {
    view_.ShowMessage(kMsgOvertime);
    Report({.kind = OutcomeKind::kNoAnswer, .text = std::string(kMsgOvertime)});
  });
}

void ProtocolEngine::OnTimer10() {
  ++connect_ticks_;
  view_.SetConnectingProgress(std::min(100, connect_ticks_ * 5));
  if (connect_ticks_ >= 100) t_->timer10->Stop();
}

void ProtocolEngine::StopSchedulerTimers() {
  t_->timer1->Stop();
  t_->intimer->Stop();
  t_->send_timer->Stop();
  t_->timer7->Stop();
  t_->timer4->Stop();
  current_slot_ = 0;
}

void ProtocolEngine::StopAllConnectionTimers() {
  StopSchedulerTimers();
  t_->chcon->Stop();
  t_->chcon112->Stop();
  t_->chcon188->Stop();
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
  if (hid_ != nullptr) {
    WriteHidBlock(block);
  } else {
    tx_frame_.assign(block.begin(), block.end());
    if (serial_ != nullptr && serial_->IsOpen()) serial_->Write(tx_frame_);
  }
}

void ProtocolEngine::WriteHidBlock(const LongWriteBlock& block) {
  // Eight full reports and a last one with 40 data bytes, the checksum and AA.
  for (std::size_t first = 0; first < block.size(); first += kHidDataSize) {
    hid_out_report_.fill(0);
    const std::size_t n = std::min(kHidDataSize, block.size() - first);
    std::copy_n(block.begin() + first, n, hid_out_report_.begin() + 1);
    if (!hid_->WriteReport(hid_out_report_)) return;  // the rest of the block is dropped
  }
}

}  // namespace veltrane
