// The frame reader with the simulator's rules and the simulator's HID reader, alone and inside the
// simulator: serial bytes and HID output reports of any content, with clock advances between them
// (a simulator reader script, fuzz_scripts.h). Every frame handed on must be a complete, sound
// frame of the kind the editor sends, taken from the input as it came; every reply the simulator
// makes must be a sound frame; its state must stay what a processor can hold.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_scripts.h"
#include "protocol/virtual_clock.h"
#include "sim/frame_reader.h"
#include "sim/simulator.h"

namespace veltrane::fuzz {
namespace {

// Only whole frames with the editor's own commands, the right checksum and the end byte.
void CheckIncomingFrame(std::span<const std::uint8_t> frame) {
  FUZZ_CHECK(frame.size() >= kFrameOverhead);
  FUZZ_CHECK(frame[0] == kStartByte && frame[1] == kStartByte && frame[2] == kStartByte);
  FUZZ_CHECK(frame[4] == kCmdWrite || frame[4] == kCmdRequest);
  FUZZ_CHECK(LengthField(frame) <= kMaxIncomingDataLength);
  FUZZ_CHECK(frame.size() == kFrameOverhead + LengthField(frame));
  FUZZ_CHECK(FrameIsSound(frame));
}

void CheckReply(std::span<const std::uint8_t> frame) {
  FUZZ_CHECK(frame.size() >= kFrameOverhead);
  FUZZ_CHECK(frame[0] == kStartByte && frame[1] == kStartByte && frame[2] == kStartByte);
  FUZZ_CHECK(frame[4] == kCmdAck || frame[4] == kCmdData);
  FUZZ_CHECK(frame.size() == kFrameOverhead + LengthField(frame));
  FUZZ_CHECK(FrameIsSound(frame));
}

SimOptions OptionsOf(std::uint8_t bits) {
  SimOptions options;
  options.identity_first = (bits & kSimIdentityFirst) != 0;
  options.poll_answer_long = (bits & kSimLongPoll) != 0;
  options.merge_with_next = (bits & kSimMerge) != 0;
  if ((bits & kSimSplit) != 0) options.split_chunks = {7, 3};
  options.pacing_9600 = (bits & kSimPacing) != 0;
  if ((bits & kSimLate) != 0) options.late_ms = 30;
  if ((bits & kSimNoise) != 0) options.random_noise = 5;
  options.locked_at_start = (bits & kSimLocked) != 0;
  return options;
}

class ReaderRig {
 public:
  explicit ReaderRig(std::uint8_t option_bits)
      : sim_(clock_, OptionsOf(option_bits)),
        serial_reader_(kEditorFrames, [this](const Frame& f) { OnSerialFrame(f.bytes); }),
        hid_reader_([this](std::span<const std::uint8_t> f) { OnHidFrame(f); }) {
    sim_.SetTrace([](bool incoming, std::span<const std::uint8_t> frame) {
      if (incoming) {
        CheckIncomingFrame(frame);
      } else {
        CheckReply(frame);
      }
    });
    sim_.SetSerialSink([](std::span<const std::uint8_t> bytes) { FUZZ_CHECK(!bytes.empty()); });
    sim_.SetHidSink(
        [](std::span<const std::uint8_t> report) { FUZZ_CHECK(report.size() == kHidDataSize); });
  }

  void Run(ScriptReader& in) {
    while (!in.Done()) {
      const std::uint8_t op = in.Byte();
      if (op < sim_op::kHidReport) {
        const auto chunk = in.Take(op);
        stream_.insert(stream_.end(), chunk.begin(), chunk.end());
        serial_reader_.Feed(chunk, clock_.NowMs());
        sim_.OnSerialBytes(chunk);
      } else if (op < sim_op::kAdvance50) {
        std::array<std::uint8_t, kHidDataSize> data{};
        const auto taken = in.Take(kHidDataSize);
        std::copy(taken.begin(), taken.end(), data.begin());
        reports_.push_back(data);
        hid_reader_.Feed(data, clock_.NowMs());
        HidReport report{};  // report ID 0, then the data
        std::copy(data.begin(), data.end(), report.begin() + 1);
        sim_.OnHidReport(report);
      } else if (op < sim_op::kAdvance1) {
        clock_.Advance((op - sim_op::kAdvance50) * 50);
      } else {
        clock_.Advance(op - sim_op::kAdvance1 + 1);
      }
      CheckState();
    }
    clock_.Advance(5000);  // deliveries still on their way
    CheckState();
  }

 private:
  // A frame from the serial reader is a piece of the stream, after the previous one.
  void OnSerialFrame(std::span<const std::uint8_t> frame) {
    CheckIncomingFrame(frame);
    const auto from = stream_.begin() + static_cast<std::ptrdiff_t>(serial_cursor_);
    const auto at = std::search(from, stream_.end(), frame.begin(), frame.end());
    FUZZ_CHECK(at != stream_.end());
    serial_cursor_ = static_cast<std::size_t>(at - stream_.begin()) + frame.size();
    serial_delivered_ += frame.size();
  }

  // A frame from the HID reader is the start of one report fed so far, or the ten header
  // bytes of one report followed by the reports after it. (A long frame given up after its
  // time has its reports read again for frames of their own, so it need not be the last.)
  void OnHidFrame(std::span<const std::uint8_t> frame) {
    CheckIncomingFrame(frame);
    bool found = false;
    for (std::size_t r = reports_.size(); r-- > 0 && !found;) {
      if (frame.size() <= kHidDataSize) {
        found = std::equal(frame.begin(), frame.end(), reports_[r].begin());
        continue;
      }
      std::vector<std::uint8_t> expected(reports_[r].begin(), reports_[r].begin() + 10);
      for (std::size_t next = r + 1; next < reports_.size() && expected.size() < frame.size();
           ++next) {
        expected.insert(expected.end(), reports_[next].begin(), reports_[next].end());
      }
      found = expected.size() >= frame.size() &&
              std::equal(frame.begin(), frame.end(), expected.begin());
    }
    FUZZ_CHECK(found);
  }

  void CheckState() {
    // No byte is handed on twice or both handed on and skipped.
    FUZZ_CHECK(serial_delivered_ + serial_reader_.skipped_bytes() <= stream_.size());
    const SimDeviceSettings& settings = sim_.Settings();
    FUZZ_CHECK(settings.current_preset >= 1 && settings.current_preset <= 20);
    FUZZ_CHECK(settings.device_number != 0);
    FUZZ_CHECK(sim_.LiveImage()[ProcessorState::kLockByte] <= 1);
    FUZZ_CHECK(sim_.state().password().size() == ProcessorState::kPasswordLength);
  }

  VirtualClock clock_;
  Simulator sim_;
  FrameReader serial_reader_;
  HidFrameReader hid_reader_;
  std::vector<std::uint8_t> stream_;
  std::size_t serial_cursor_ = 0;
  std::size_t serial_delivered_ = 0;
  std::vector<std::array<std::uint8_t, kHidDataSize>> reports_;
};

}  // namespace
}  // namespace veltrane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  veltrane::fuzz::ScriptReader in(std::span(data, size));
  veltrane::fuzz::ReaderRig rig(in.Byte());
  rig.Run(in);
  return 0;
}
