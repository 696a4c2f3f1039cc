#pragma once

// A processor that speaks the wire protocol from the processor's side, for tests, for the
// standalone veltrane-sim and for the editor's demo mode. ProcessorState holds what it
// knows; this class takes frames in from either link, answers on the link a frame came
// from, and can be told to misbehave so that every time-out and error path of the editor
// meets something real.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "frame/frame_codec.h"
#include "model/parameter_model.h"
#include "protocol/link.h"
#include "protocol/timer.h"
#include "sim/frame_reader.h"
#include "sim/processor_state.h"

namespace veltrane {

using SimHidReport = std::array<std::uint8_t, kHidDataSize>;

// A frame as input reports after their report ID: one report with the ten header bytes
// (the rest zero), then the remaining bytes 64 per report, the last padded with zeros.
// For a reply of L data bytes that is L div 64 + 1 data reports, the last holding
// L mod 64 data bytes, the checksum and AA.
std::vector<SimHidReport> SplitIntoHidReports(std::span<const std::uint8_t> frame);

struct SimOptions {
  // Never answers; frames are still received and applied.
  bool silent = false;
  // Every reply leaves this much later.
  int late_ms = 0;
  // A live-image request that starts a connection is answered with the identity only;
  // the editor then asks again and gets the image.
  bool identity_first = false;
  // Serial: a reply's bytes reach the sink as calls of these sizes, used in turn and
  // started over (e.g. {48}). Empty: one call per reply.
  std::vector<std::size_t> split_chunks{};
  // Serial: each reply is held back and delivered in one call together with the next.
  bool merge_with_next = false;
  // These bytes before every reply (serial: as a call of their own; HID: one report).
  std::vector<std::uint8_t> noise{};
  // Or, when `noise` is empty, this many random bytes.
  int random_noise = 0;
  std::uint32_t noise_seed = 1;
  // After this many frames the link is dropped: nothing more is taken in or answered.
  std::optional<int> drop_after_frames{};
  bool poll_answer_long = false;  // keep-alive answered with L = 20
  // Serial: bytes leave at about 1.04 ms each, in chunks of about 10 bytes (or the
  // split_chunks sizes), each chunk delivered when its last byte would have arrived.
  bool pacing_9600 = false;
  // Object codes never answered (e.g. the names, to provoke the names time-out).
  std::set<std::uint8_t> ignore_objects{};
  // A slot written with a long write keeps one byte wrong (data byte 100), as a failing
  // memory would: 1..20, 0 for none.
  int corrupt_slot = 0;
  // The panel refuses to lock: a lock is answered with status 0 and changes nothing.
  bool refuse_lock = false;
  // A device-number write is acknowledged, but the processor keeps its number.
  bool keep_device_number = false;
  // Keep every received frame in received(); a long-running server turns this off.
  bool keep_log = true;

  // Start-up state, read once by the constructor.
  bool locked_at_start = false;
  std::string password{ProcessorState::kDefaultPassword};
  bool demo_content = false;
  std::uint8_t device_number = 1;
};

struct SimReceivedFrame {
  std::int64_t time_ms = 0;
  Bytes bytes;
  SimFrameKind kind = SimFrameKind::kOther;
  bool via_hid = false;
};

// The serial side of one processor or of a line of several.
class SimSerialEndpoint {
 public:
  using Sink = std::function<void(std::span<const std::uint8_t>)>;
  virtual ~SimSerialEndpoint() = default;
  virtual void OnSerialBytes(std::span<const std::uint8_t> bytes) = 0;
  virtual void SetSerialSink(Sink sink) = 0;
};

class Simulator : public SimSerialEndpoint {
 public:
  // 10 bits per byte at 9600 baud.
  static constexpr double kSerialMsPerByte = 10.0 * 1000.0 / 9600.0;
  static constexpr std::size_t kPacedChunkBytes = 10;  // about one chunk per 10 ms
  // Silence after which the next live-image request counts as a new connection.
  static constexpr std::int64_t kIdentityRearmMs = 2000;

  // incoming: a frame taken in; otherwise a reply as built, before any misbehaviour.
  using Trace = std::function<void(bool incoming, std::span<const std::uint8_t> frame)>;

  explicit Simulator(TimerHost& host, SimOptions options = {});
  ~Simulator() override;
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  void OnSerialBytes(std::span<const std::uint8_t> bytes) override;
  // A 65-byte output report: report ID 0, then the frame.
  void OnHidReport(const HidReport& report);

  // The unprompted report that makes the editor refresh its controls; goes out on every
  // link that has a sink.
  void SendRefreshReport();

  void SetSerialSink(Sink sink) override { serial_sink_ = std::move(sink); }
  // Receives 64-byte input reports (no report ID).
  void SetHidSink(Sink sink) { hid_sink_ = std::move(sink); }
  void SetTrace(Trace trace) { trace_ = std::move(trace); }

  // Misbehaviour may be changed between frames.
  SimOptions& options() { return options_; }
  ProcessorState& state() { return state_; }
  const ProcessorState& state() const { return state_; }

  const SimImage& LiveImage() const { return state_.live_image(); }
  ParameterModel LiveModel() const { return state_.LiveModel(); }
  const std::string& PresetName(int slot) const { return state_.preset(slot).name; }
  const SimImage& PresetImage(int slot) const { return state_.preset(slot).image; }
  const SimDeviceSettings& Settings() const { return state_.settings(); }
  bool Locked() const { return state_.locked(); }

  int Count(SimFrameKind kind) const { return counts_[static_cast<int>(kind)]; }
  int FramesReceived() const { return frames_received_; }
  // Sound frames addressed to another device number: neither applied nor answered.
  int FramesForOthers() const { return frames_for_others_; }
  int DroppedFrames() const { return dropped_frames_; }
  // Frames whose checksum or end byte was wrong, or that a silence cut short.
  int BadFrames() const { return serial_reader_.bad_frames() + hid_reader_.bad_frames(); }
  const std::vector<SimReceivedFrame>& received() const { return received_; }

 private:
  enum class Link { kSerial, kHid };

  void OnFrame(std::span<const std::uint8_t> frame, Link link);
  bool LinkDropped() const;
  void Transmit(const Bytes& frame, Link link);
  void TransmitSerial(const Bytes& frame);
  void TransmitHid(const Bytes& frame);
  void DeliverSerial(std::vector<Bytes> chunks);
  std::vector<Bytes> Split(const Bytes& bytes) const;
  Bytes MakeNoise();

  TimerHost& host_;
  SimOptions options_;
  ProcessorState state_;
  FrameReader serial_reader_;
  HidFrameReader hid_reader_;
  Sink serial_sink_;
  Sink hid_sink_;
  Trace trace_;

  std::array<int, kSimFrameKindCount> counts_{};
  int frames_received_ = 0;
  int frames_for_others_ = 0;
  int dropped_frames_ = 0;
  std::vector<SimReceivedFrame> received_;
  bool identity_given_ = false;  // in this connection
  std::optional<std::int64_t> last_frame_ms_;
  std::optional<Bytes> held_;         // merge_with_next: the reply waiting for its partner
  std::int64_t line_free_at_us_ = 0;  // pacing: when the serial line finishes sending
  std::mt19937 noise_random_;
  std::shared_ptr<bool> alive_;  // deferred deliveries outlive nothing
};

}  // namespace veltrane
