#pragma once

// Parameters as the command line names them: channels ("in", "out1" ...), the `set`
// arguments applied with the editor's own snapping and clamping, readable values for
// `show`, and the byte-by-byte comparison that verifies a write by reading it back.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/blocks.h"
#include "model/parameter_model.h"

namespace veltrane {

// "in" (or "ina"), "inb", "out1" .. "out4" (also "h_out", "m_out", "l_out"); any case.
std::optional<int> ParseChannel(std::string_view name);
std::string ChannelName(int channel);  // "in", "inb", "out1" ...

// A number given to `set` and what the processor's table holds for it.
struct SetValue {
  std::string parameter;  // "out1 eq3 freq"
  double requested = 0;
  double stored = 0;
  std::string unit;      // " Hz", " dB", " ms" or empty
  bool clamped = false;  // outside the table: a warning says so
  // The table moved the value (rounding or clamping): "out1 eq3 freq 120 Hz -> 121 Hz".
  bool Moved() const;
  std::string Describe() const;
};

struct SetOutcome {
  std::string error;                  // a usage error: nothing was applied
  std::vector<std::string> warnings;  // values clamped into range
  std::vector<BlockAddress> changed;  // blocks to send, each once, in order
  std::vector<SetValue> values;       // every number given, in order
};

// Applies "CHANNEL PARAM VALUE" groups, e.g. {"out1", "gain", "-3.5", "out1", "eq3",
// "freq", "120"}. Parameters: gain DB, delay MS, mute on|off, polarity normal|inverted,
// bypass on|off, route off|a|b|a+b, eqN type|freq|gain|q V, hp|lp freq HZ|off,
// hp|lp type NAME|1..12, limiter threshold|attack|release|ratio V. The model is changed
// only when every group is valid. A band's gain goes to the type the band has once all
// groups are applied, whatever their order.
SetOutcome ApplySetArguments(std::span<const std::string> args, ParameterModel& model);

// One line per channel part, for `show`.
std::vector<std::string> DescribeChannel(const ParameterModel& model, int channel);

// The data bytes of an image text (characters 21 .. 1124) as 552 bytes.
std::vector<std::uint8_t> ImageDataBytes(std::string_view image_text);

struct ByteDifference {
  std::size_t index = 0;  // data byte 0 .. 551
  std::uint8_t sent = 0;
  std::uint8_t read = 0;
};
// Data bytes that differ; the panel-lock byte is skipped when asked (the processor
// keeps its own lock state whatever an image says).
std::vector<ByteDifference> CompareImageData(std::span<const std::uint8_t> sent,
                                             std::span<const std::uint8_t> read,
                                             bool skip_lock_byte);
// "out1 EQ band 3 (record 27), byte 2: sent 5A, read 5B".
std::string DescribeDifference(const ByteDifference& difference);

}  // namespace veltrane
