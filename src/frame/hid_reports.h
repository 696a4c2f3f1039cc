#pragma once

// Frames over USB HID: 64-byte reports after a report ID of 0. The editor sends a frame
// in as many reports as it fills, 64 bytes each (one for every frame but a long write's
// block); the processor answers with a header report and L div 64 + 1 data reports.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace veltrane {

inline constexpr std::size_t kHidReportSize = 65;  // report ID 0, then 64 bytes
inline constexpr std::size_t kHidDataSize = 64;
using HidReport = std::array<std::uint8_t, kHidReportSize>;

// Report `n` (from 0) of a frame sent in reports: its bytes from 64 n on, zero after
// the frame's end.
HidReport OutputReport(std::span<const std::uint8_t> frame, std::size_t n);
// How many reports a frame takes (one at least, so an empty write still sends one).
constexpr std::size_t OutputReportCount(std::size_t frame_length) {
  return frame_length == 0 ? 1 : (frame_length + kHidDataSize - 1) / kHidDataSize;
}
// Writes a frame's reports in order through `write_report` (bool(const HidReport&)); the
// first that fails ends the frame, since the rest would make no sense to the processor.
template <typename WriteReport>
void WriteOutputReports(std::span<const std::uint8_t> frame, WriteReport&& write_report) {
  for (std::size_t n = 0; n < OutputReportCount(frame.size()); ++n) {
    if (!write_report(OutputReport(frame, n))) return;
  }
}

// Puts a reply together from its input reports. Only the header report's first ten bytes
// count; the data, checksum and end byte follow in the data reports, the last of which
// holds the remaining L mod 64 data bytes, the checksum and AA. A header report with a
// command or a length no processor answers with starts nothing.
class HidReplyAssembler {
 public:
  HidReplyAssembler() { frame_.reserve(1024); }

  // One input report's data bytes (without the report ID). The whole reply's bytes when
  // this report ends one, otherwise nothing; valid until the next call.
  std::span<const std::uint8_t> Add(std::span<const std::uint8_t> report);
  void Reset() { collecting_ = false; }
  bool Collecting() const { return collecting_; }

 private:
  std::vector<std::uint8_t> frame_;
  bool collecting_ = false;
  std::size_t length_ = 0;        // L of the header report
  std::size_t data_reports_ = 0;  // data reports taken so far
};

}  // namespace veltrane
