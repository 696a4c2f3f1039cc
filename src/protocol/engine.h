#pragma once

// The protocol engine: send slots and their timer chain, reply dispatch by table, the connection
// from the click to the disconnect, and long writes. Everything runs on the window thread, one
// handler at a time; time, the links and the windows are injected.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "frame/frame_codec.h"
#include "frame/frame_reader.h"
#include "model/blocks.h"
#include "model/parameter_model.h"
#include "protocol/link.h"
#include "protocol/outcome.h"
#include "protocol/send_slots.h"
#include "protocol/timer.h"
#include "protocol/view.h"

namespace veltrane {

inline constexpr std::string_view kCaptionDisconnected = "Disconnect";
inline constexpr std::string_view kCaptionConnected = "Connect";
inline constexpr std::string_view kMsgNoPort = "No port or in use.";
inline constexpr std::string_view kMsgOvertime = "overtime,please try again.";
inline constexpr std::string_view kMsgInterrupt = "interrupt.";
inline constexpr std::string_view kIdentityText = "TAMBREL2X";
// ComPortNumber while a connection runs over HID, after a failed open, after a disconnect.
inline constexpr int kComPortHid = 100;
inline constexpr int kComPortFailed = 0;
inline constexpr int kComPortClosed = -1;

// How a connection attempt or a connection ended (kNoPort, kNoAnswer, kLinkLost) is
// reported as an Outcome of Operation::kConnect.
class ProtocolEngine : public SlotSink, public OutcomeReporter {
 public:
  ProtocolEngine(TimerHost& timers, ParameterModel& model, ConnectionView& view);
  ~ProtocolEngine() override;
  ProtocolEngine(const ProtocolEngine&) = delete;
  ProtocolEngine& operator=(const ProtocolEngine&) = delete;

  // Wiring. The serial port may be absent. The device link is a link that is open for as
  // long as its device is present (the processor on USB): while there is one, connections
  // run over it and the serial port is not opened (HidMode).
  void SetSerialPort(SerialPort* port) { serial_ = port; }
  void SetDeviceLink(ByteLink* link) { device_link_ = link; }
  void SetHooks(ReplyHooks* hooks);
  // Start-up: the status lamp refresh runs from now on.
  void Start();

  // --- State -------------------------------------------------------------------------
  bool Connected() const { return connected_; }
  bool HidMode() const { return device_link_ != nullptr; }
  // The processor's HID device is present, or the serial port is open: false once a read
  // or write error has released the port, before any time-out has noticed.
  bool LinkOpen() const { return ActiveLink() != nullptr; }
  std::uint8_t DeviceId() const override { return device_id_; }
  void SetDeviceId(std::uint8_t id) { device_id_ = id; }
  int ComPortNumber() const { return com_port_number_; }
  // The port-list entry the next connection opens (name and number).
  void SelectPort(std::string name, int number);
  bool Connecting() const { return attempt_active_; }
  // The processor answered this connection's image request with its identity first.
  bool IdentitySeen() const { return identity_seen_; }
  // No send slot is pending and none is on its way out.
  bool SendSlotsIdle() const { return slots_.LowestPending() == 0 && current_slot_ == 0; }
  // Changes whenever a connection is opened or closed: a continuation that captured it
  // applies only while it is unchanged.
  std::uint64_t ConnectionEpoch() const { return attempt_; }
  // Drops whatever has arrived and not yet made a whole reply.
  void DiscardReceived() { reader_.Reset(); }
  // Bytes that may begin a reply are waiting for the rest of it.
  bool ReceivePending() const { return !reader_.Empty(); }
  // Frames given up (checksum, end byte, stopped half-way) since the start.
  int BadFrames() const { return reader_.bad_frames(); }

  // --- Send slots (SlotSink) ----------------------------------------------------------
  bool AcceptsFrames() const override { return connected_; }
  void QueueSlotFrame(int slot, const WriteFrame& frame) override;
  void MarkSlot(int slot) { slots_.Mark(slot); }
  void ClearSendSlots() { slots_.ClearAll(); }
  bool SlotPending(int slot) const { return slots_.Pending(slot); }

  // Keeps a frame as the transmit buffer and writes it through the active link.
  void SendFrame(std::span<const std::uint8_t> frame);
  // Writes the transmit buffer: to the device link when there is one, otherwise to the
  // serial port while it is open and connected, otherwise nowhere.
  void SendNow();

  // Scheduler control for operations that talk to the processor directly. What an
  // operation stops stays stopped, even for a slot frame already on its way out, until
  // the operation starts it again.
  void StartScheduler();  // the poll and the slot scan
  void StartPoll();       // the poll
  void StopPoll();        // the poll and its time-out
  void StopScheduler();   // the poll, its time-out and the slot scan

  // --- Incoming -----------------------------------------------------------------------
  // Bytes that arrived on a link (one serial notification, one reply put together from
  // HID reports); none means nothing arrived. Whole, checked replies are dispatched.
  void OnBytes(std::span<const std::uint8_t> bytes);
  // An image text from a file: decoded into the model and shown like a received image,
  // but the lock state stays as it is and nothing is echoed to the processor.
  void ApplyImageText(std::string_view text);
  // A received image applied as a connection applies it (the port lists stay locked), for
  // an operation that claimed the image and wants it shown.
  void ApplyReceivedImage(const Frame& frame);

  // An operation claims the replies it is waiting for ("object 29 records are mine until
  // I finish"): while its claim holds, the replies of that object go to it, with their
  // hex text, and the engine does nothing else with them. Only its owner releases a claim;
  // a second claim on the same object replaces the first.
  using ReplyClaim = std::function<void(const Frame& frame, std::string_view text)>;
  void ClaimReplies(std::uint8_t object, ReplyClaim claim);
  void ReleaseReplies(std::uint8_t object);
  bool Claimed(std::uint8_t object) const;

  // --- Connection ---------------------------------------------------------------------
  // The connect button: its caption names the state, a click changes it.
  void ConnectButtonClicked();
  void OpenConnection();
  // `then` runs once the port is closed (time-outs show their message there).
  void CloseConnection(std::function<void()> then = {});

  // --- Long writes ---------------------------------------------------------------------
  // The ten header bytes alone through SendNow.
  void SendLongWriteHeader(std::uint8_t bank, std::uint8_t object_code);
  // Bytes 10..561 of an image text (characters 21..1124) as the 554-byte block; only
  // while connected.
  void SendImageBlock(std::string_view image_text, std::uint8_t object_code, std::uint8_t bank);

 private:
  class TimerSet;
  struct ReplyRow;
  static std::span<const ReplyRow> ReplyTable();

  void OnSlotScan();
  void OnSendDelay();
  void OnSendRest();
  void OnPoll();
  // What a connection waits for: any answer (2 s), the image and the names (3 s each).
  enum class ConnectWait { kAnyAnswer, kImage, kNames };
  void OnConnectTimeout(ConnectWait which);
  void OnPollTimeout();
  void OnConnectProgress();

  void CloseBeforeOpening(std::uint64_t attempt);
  void OpenLink(std::uint64_t attempt);
  void ContinueAfterIdentity();
  void RequestImageAndArm();
  void EndConnectingBox();
  void FinishConnect();
  // Decodes through `decode` (which fills the model) and shows the result.
  void ApplyImage(const std::function<void()>& decode);
  // The link frames go out on: the device link, else the serial port while it is open.
  ByteLink* ActiveLink() const;

  // Replies, one handler per row of the reply table (engine_replies.cc).
  void Dispatch(const Frame& frame);
  void OnPollAnswer(const Frame& frame);
  void OnIdentity(const Frame& frame);
  void OnUnlockReply(const Frame& frame);
  void OnLockReply(const Frame& frame);
  void OnRefreshRequest(const Frame& frame);
  void OnDeviceSettings(const Frame& frame);
  void OnSettingsWriteAck(const Frame& frame);
  void OnPlainAck(const Frame& frame);
  void OnBackupRecord(const Frame& frame);
  void OnImage(const Frame& frame);
  void OnPresetNames(const Frame& frame);
  // The whole reply as hex text, for the operations that keep it in a file.
  std::string_view ReplyText(const Frame& frame);
  // Hands the frame to the claim on its object; false when there is none.
  bool ToClaim(const Frame& frame);
  // The send chain and the poll, with the slot it had chosen.
  void StopSchedulerTimers();
  void StopAllConnectionTimers();

  TimerHost& timers_;
  ParameterModel& model_;
  ConnectionView& view_;
  ReplyHooks default_hooks_;
  ReplyHooks* hooks_ = &default_hooks_;
  SerialPort* serial_ = nullptr;
  ByteLink* device_link_ = nullptr;

  bool connected_ = false;
  std::uint8_t device_id_ = 0;
  int com_port_number_ = kComPortClosed;
  std::string selected_port_;
  int selected_port_number_ = 0;
  bool port_selected_ = false;
  std::string connect_port_;        // the entry taken when the connect button was clicked
  bool caption_connected_ = false;  // the button reads "Connect"
  bool attempt_active_ = false;     // between the click and the end of the handshake
  bool closing_ = false;
  bool identity_seen_ = false;
  bool poll_held_ = false;     // an operation stopped the poll and restarts it
  bool scan_held_ = false;     // an operation stopped the slot scan
  std::uint64_t attempt_ = 0;  // voids continuations of an ended attempt
  int connect_ticks_ = 0;

  FrameReader reader_;
  std::string reply_text_;
  std::vector<std::pair<std::uint8_t, ReplyClaim>> claims_;
  Bytes tx_frame_;

  SendSlotTable slots_;
  int current_slot_ = 0;

  std::unique_ptr<TimerSet> t_;
};

// The 20 names of a names reply's data (400 bytes): each field of 20 bytes up to its first
// zero byte; missing bytes read as zero.
std::array<std::string, 20> DecodePresetNames(std::span<const std::uint8_t> data);

}  // namespace veltrane
