// Frames in HID reports: what the editor writes and how a reply is put together.

#include "frame/hid_reports.h"

#include <gtest/gtest.h>

#include "frame/frame_codec.h"

namespace veltrane {
namespace {

TEST(HidReports, OutputIsSixtyFourBytesPerReportAfterReportIdZero) {
  const struct {
    std::size_t length;
    std::size_t reports;
    std::size_t last_bytes;
  } cases[] = {{0, 1, 0}, {12, 1, 12}, {64, 1, 64}, {65, 2, 1}, {kLongWriteBlockLength, 9, 42}};
  for (const auto& c : cases) {
    Bytes frame(c.length);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i + 1);
    ASSERT_EQ(OutputReportCount(c.length), c.reports) << c.length;
    for (std::size_t n = 0; n < c.reports; ++n) {
      const HidReport report = OutputReport(frame, n);
      EXPECT_EQ(report[0], 0);
      const std::size_t bytes = n + 1 < c.reports ? kHidDataSize : c.last_bytes;
      for (std::size_t i = 0; i < kHidDataSize; ++i) {
        const std::uint8_t expected = i < bytes ? frame[n * kHidDataSize + i] : 0;
        ASSERT_EQ(report[1 + i], expected) << c.length << " report " << n << " byte " << i;
      }
    }
  }
}

// A reply is a header report (only its first ten bytes count) and L div 64 + 1 data
// reports; the last holds the remaining data, the checksum and AA.
TEST(HidReports, ReplyIsPutTogetherFromHeaderAndDataReports) {
  HidReplyAssembler assembler;
  for (std::size_t length : {0u, 8u, 20u, 24u, 400u, 552u}) {
    const Bytes frame = BuildFrame(0, kCmdData, 0, 0x77, 0, Bytes(length, 3));
    std::array<std::uint8_t, 64> header{};
    std::copy_n(frame.begin(), 10, header.begin());
    header[20] = 0xEE;
    EXPECT_TRUE(assembler.Add(header).empty());
    const std::size_t reports = length / 64 + 1;
    for (std::size_t k = 0; k < reports; ++k) {
      std::array<std::uint8_t, 64> data{};
      data.fill(0x5A);  // what follows the frame in the last report is not part of it
      const std::size_t first = 10 + 64 * k;
      std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(first),
                  std::min<std::size_t>(64, frame.size() - first), data.begin());
      const auto reply = assembler.Add(data);
      if (k + 1 < reports) {
        EXPECT_TRUE(reply.empty()) << length << " report " << k;
      } else {
        EXPECT_EQ(Bytes(reply.begin(), reply.end()), frame) << length;
      }
    }
    EXPECT_FALSE(assembler.Collecting());
  }
  // A report that does not start a frame is dropped while idle.
  std::array<std::uint8_t, 64> noise{};
  noise.fill(0x11);
  EXPECT_TRUE(assembler.Add(noise).empty());
  EXPECT_FALSE(assembler.Collecting());
}

// A header report no processor sends (a length beyond an image's, a command it never
// answers with) starts nothing, so the replies after it are not taken as its data.
TEST(HidReports, HeaderNoProcessorSendsIsDropped) {
  const Bytes poll = BuildFrame(0, kCmdData, 0, kObjPoll, 0, Bytes(8, 1));
  for (const Bytes& stray : {BuildFrame(0, kCmdData, 0, 0x77, 0, Bytes(kImageDataLength + 1, 0)),
                             BuildFrame(0, kCmdWrite, 0, 0x77, 0, Bytes(8, 0))}) {
    HidReplyAssembler assembler;
    std::array<std::uint8_t, 64> header{};
    std::copy_n(stray.begin(), 10, header.begin());
    EXPECT_TRUE(assembler.Add(header).empty());
    EXPECT_FALSE(assembler.Collecting());

    std::copy_n(poll.begin(), 10, header.begin());
    std::array<std::uint8_t, 64> data{};
    std::copy(poll.begin() + 10, poll.end(), data.begin());
    EXPECT_TRUE(assembler.Add(header).empty());
    const auto reply = assembler.Add(data);
    EXPECT_EQ(Bytes(reply.begin(), reply.end()), poll);
  }
}

}  // namespace
}  // namespace veltrane
