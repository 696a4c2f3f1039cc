#include "engine_rig.h"

#include <algorithm>
#include <array>
#include <utility>

#include "frame/frame_reader.h"  // FrameIsSound
#include "fuzz_check.h"
#include "fuzz_checks.h"
#include "fuzz_scripts.h"
#include "operation_claims.h"

namespace veltrane::fuzz {
namespace {

constexpr std::string_view kPortName = "ttyFUZZ";
constexpr int kPortNumber = 3;
// The disconnect sequence waits this long before the port goes and the message shows.
constexpr std::int64_t kCloseWaitMs = 50;
constexpr std::int64_t kFirstReplyTimeoutMs = 2000;  // the connect time-out
constexpr std::int64_t kHandshakeTimeoutMs = 3000;   // the image and names time-outs
constexpr std::int64_t kPollTimeoutMs = 2000;        // the poll time-out
// Timers that belong to an open or opening connection only.
constexpr std::array<std::string_view, 8> kConnectionTimers = {
    " connect_timeout ",  " image_timeout ", " names_timeout ", " poll_timeout ",
    " send_delay ", " send_rest ",   " poll ",   " slot_scan "};

}  // namespace

class EngineRig::Port : public SerialPort {
 public:
  explicit Port(EngineRig& rig) : rig_(rig) {}
  bool Open(const std::string& name) override {
    FUZZ_CHECK(!open_);  // never opened twice
    FUZZ_CHECK(name == kPortName);
    if (fails) {
      ++failed_opens;
      return false;
    }
    open_ = true;
    return true;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  void Write(std::span<const std::uint8_t> bytes) override {
    FUZZ_CHECK(open_);
    rig_.OnFrameWritten(bytes);
  }

  bool fails = false;
  int failed_opens = 0;

 private:
  EngineRig& rig_;
  bool open_ = false;
};

class EngineRig::Hid : public ByteLink {
 public:
  explicit Hid(EngineRig& rig) : rig_(rig) {}
  void Write(std::span<const std::uint8_t> bytes) override {
    FUZZ_CHECK(rig_.hid_plugged_);
    // No request of the engine needs more than one report.
    FUZZ_CHECK(OutputReportCount(bytes.size()) == 1);
    rig_.OnFrameWritten(bytes);
  }

 private:
  EngineRig& rig_;
};

class EngineRig::View : public ConnectionView {
 public:
  explicit View(EngineRig& rig) : rig_(rig) {}
  void ShowMessage(std::string_view text) override { rig_.OnMessage(text); }
  void SetConnectCaption(std::string_view caption) override { rig_.OnCaption(caption); }
  void SetLamp(bool) override {}
  void ShowConnectingBox(bool) override {}
  void SetConnectingProgress(int percent) override { FUZZ_CHECK(percent >= 0 && percent <= 100); }
  void SetPanelsEnabled(bool) override {}
  void SetPortListsEnabled(bool) override {}
  void HideDetailWindow() override {}
  // The controls show the model: it must be inside the ranges they offer.
  void ApplyModelToControls() override { FUZZ_CHECK(ModelInClamps(rig_.model_)); }
  void ResetEditingState() override {}

 private:
  EngineRig& rig_;
};

class EngineRig::Hooks : public ReplyHooks, public OperationClaims {
 public:
  void OnPresetNames(const std::array<std::string, 20>& names) override {
    for (const std::string& name : names) {
      FUZZ_CHECK(name.size() <= 20);
      FUZZ_CHECK(name.find('\0') == std::string::npos);
    }
  }

 protected:
  void OnBackupRecord(std::string_view record) override {
    FUZZ_CHECK(record.size() == kImageTextLength);
    FUZZ_CHECK(TextAt(record, 9, "52") && TextAt(record, 13, "29"));
  }
  void OnImageToFile(std::string_view image) override {
    FUZZ_CHECK(image.size() == kImageTextLength);
    FUZZ_CHECK(TextAt(image, 9, "52") && TextAt(image, 13, "28"));
  }
};

EngineRig::EngineRig(ReceivePath path)
    : path_(path),
      serial_(std::make_unique<Port>(*this)),
      hid_(std::make_unique<Hid>(*this)),
      view_(std::make_unique<View>(*this)),
      hooks_(std::make_unique<Hooks>()),
      engine_(std::make_unique<ProtocolEngine>(clock_, model_, *view_)) {
  engine_->SetSerialPort(serial_.get());
  if (path_ == ReceivePath::kHid) {
    hid_plugged_ = true;
    engine_->SetDeviceLink(hid_.get());
  }
  engine_->SetHooks(hooks_.get());
  engine_->SelectPort(std::string(kPortName), kPortNumber);
  engine_->Start();
}

EngineRig::~EngineRig() = default;

void EngineRig::Run(std::span<const std::uint8_t> script) {
  ScriptReader in(script);
  while (!in.Done()) {
    const std::uint8_t op = in.Byte();
    if (op <= engine_op::kMaxChunk) {
      if (path_ == ReceivePath::kSerial) {
        const auto chunk = in.Take(op);
        if (!chunk.empty()) arrivals_.push_back(Now());
        engine_->OnBytes(chunk);
      } else {
        std::array<std::uint8_t, kHidDataSize> report{};
        const auto data = in.Take(kHidDataSize);
        std::copy(data.begin(), data.end(), report.begin());
        const auto reply = hid_replies_.Add(report);
        if (!reply.empty()) {
          // A whole reply is a frame's length of bytes that starts with the marker.
          FUZZ_CHECK(reply.size() >= kFrameOverhead && reply[0] == kStartByte);
          engine_->OnBytes(reply);
        }
      }
    } else if (op < engine_op::kAdvance100) {
      clock_.Advance((op - engine_op::kAdvance5) * 5);
    } else if (op < engine_op::kClick) {
      clock_.Advance((op - engine_op::kAdvance100) * 100);
    } else if (op >= engine_op::kAdvance1) {
      clock_.Advance(op - engine_op::kAdvance1 + 1);
    } else {
      switch (op) {
        case engine_op::kToggleOpenFails:
          serial_->fails = !serial_->fails;
          break;
        case engine_op::kToggleFileSave:
          hooks_->file_save = !hooks_->file_save;
          hooks_->Claim(*engine_);
          break;
        case engine_op::kTogglePresetLoad:
          hooks_->preset_load = !hooks_->preset_load;
          hooks_->Claim(*engine_);
          break;
        case engine_op::kToggleBackup:
          hooks_->backup = !hooks_->backup;
          hooks_->Claim(*engine_);
          break;
        case engine_op::kSetDeviceId:
          engine_->SetDeviceId(in.Byte());
          break;
        case engine_op::kToggleHidPlug:
          if (path_ == ReceivePath::kHid) {
            hid_plugged_ = !hid_plugged_;
            ever_unplugged_ = ever_unplugged_ || !hid_plugged_;
            engine_->SetDeviceLink(hid_plugged_ ? hid_.get() : nullptr);
          }
          break;
        default:
          engine_->ConnectButtonClicked();
          break;
      }
    }
    CheckState();
  }
  // Whatever is still pending runs out: every time-out that is due fires and is checked.
  clock_.Advance(10000);
  CheckState();
}

void EngineRig::CheckState() {
  FUZZ_CHECK(ModelInClamps(model_));
  // The button names the state.
  FUZZ_CHECK((caption_ == kCaptionConnected) == engine_->Connected());
  if (!engine_->Connected() && !engine_->Connecting()) {
    const std::string running = " " + clock_.RunningTimers();
    for (std::string_view timer : kConnectionTimers) {
      FUZZ_CHECK(running.find(timer) == std::string::npos);
    }
  }
}

void EngineRig::OnFrameWritten(std::span<const std::uint8_t> frame) {
  // Only a connection talks to the processor, and only with whole frames of its own.
  FUZZ_CHECK(engine_->Connected());
  FUZZ_CHECK(frame.size() >= kFrameOverhead && FrameIsSound(frame));
  FUZZ_CHECK(frame[0] == kStartByte && frame[1] == kStartByte && frame[2] == kStartByte);
  FUZZ_CHECK(frame[3] == engine_->DeviceId());
  FUZZ_CHECK(frame[4] == kCmdRequest && frame[5] == 0 && frame[7] == 0);
  const std::size_t length = frame[8] * 256u + frame[9];
  FUZZ_CHECK(frame.size() == kFrameOverhead + length);
  switch (frame[6]) {
    case kObjImage:
      FUZZ_CHECK(length == 0);
      image_requests_.push_back(Now());
      break;
    case kObjPoll:
      FUZZ_CHECK(length == 0);
      polls_.push_back(Now());
      break;
    case kObjPresetNames:
      FUZZ_CHECK(length == 0);
      break;
    case kObjDeviceSettings:
      FUZZ_CHECK(length == 8);
      FUZZ_CHECK(
          std::all_of(frame.begin() + 10, frame.begin() + 18, [](auto b) { return b == 0; }));
      break;
    default:
      FUZZ_CHECK(!"a request the engine never sends on its own");
  }
}

void EngineRig::OnMessage(std::string_view text) {
  const std::int64_t now = clock_.NowMs();
  if (text == "OK") return;  // the processor's refresh report, at any time
  if (text == kMsgNoPort) {
    // One message for each open that failed.
    FUZZ_CHECK(serial_->failed_opens > no_port_messages_);
    ++no_port_messages_;
    FUZZ_CHECK(!engine_->Connected());
    FUZZ_CHECK(engine_->ComPortNumber() == kComPortFailed);
    return;
  }
  FUZZ_CHECK(text == kMsgOvertime || text == kMsgInterrupt);
  // A time-out shows one message, once its connection has closed.
  FUZZ_CHECK(closed_message_due_ && closed_at_ms_ == now);
  closed_message_due_ = false;
  FUZZ_CHECK(!engine_->Connected());
  if (!TimingIsObservable()) return;
  // Each time-out counts from a request that went out: the image request starts the
  // connect time-out (2 s, any arrival stops it) and the image / names time-outs (3 s); a
  // poll starts its time-out (2 s, any arrival stops it).
  const std::int64_t fired = now - kCloseWaitMs;
  if (text == kMsgOvertime) {
    FUZZ_CHECK(WrittenAt(image_requests_, fired - kHandshakeTimeoutMs, fired, false) ||
               WrittenAt(image_requests_, fired - kFirstReplyTimeoutMs, fired, true));
  } else {
    FUZZ_CHECK(WrittenAt(polls_, fired - kPollTimeoutMs, fired, true));
  }
}

void EngineRig::OnCaption(std::string_view caption) {
  if (caption == kCaptionConnected) {
    FUZZ_CHECK(engine_->Connected());
    FUZZ_CHECK(engine_->ComPortNumber() == (hid_plugged_ ? kComPortHid : kPortNumber));
  } else {
    FUZZ_CHECK(caption == kCaptionDisconnected);
    FUZZ_CHECK(!engine_->Connected());
    if (caption_ == kCaptionConnected) {
      FUZZ_CHECK(engine_->ComPortNumber() == kComPortClosed);
      FUZZ_CHECK(!serial_->IsOpen());
      closed_message_due_ = true;
      closed_at_ms_ = clock_.NowMs();
    }
  }
  caption_ = std::string(caption);
}

bool EngineRig::TimingIsObservable() const {
  // A request "sent" while the HID device was unplugged reached no port and no list.
  return !ever_unplugged_;
}

bool EngineRig::WrittenAt(const std::vector<Stamp>& writes, std::int64_t written_ms,
                          std::int64_t fired_ms, bool then_silence) const {
  for (const Stamp& write : writes) {
    if (write.time_ms != written_ms) continue;
    if (!then_silence) return true;
    const bool heard = std::any_of(arrivals_.begin(), arrivals_.end(), [&](const Stamp& a) {
      return a.sequence > write.sequence && a.time_ms < fired_ms;
    });
    if (!heard) return true;
  }
  return false;
}

}  // namespace veltrane::fuzz
