#pragma once

// The parameter image: 564 bytes (1128 hex characters) of which bytes 10..561 are 69
// eight-byte records, records 0..63 the parameter blocks in channel order and record 64
// byte 0 the front-panel lock.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "model/parameter_model.h"

namespace veltrane {

inline constexpr int kImageRecordCount = 69;
inline constexpr int kLockRecord = 64;

// Frame byte k of the image sits at text position 2k+1 (1-based).
constexpr int ImageByteOfRecord(int record, int byte) { return 10 + 8 * record + byte; }

struct DecodeOptions {
  // A preset file does not carry the lock state into the editor.
  bool read_lock = true;
};

// Fills the model from the image text, clamping the indexed values into range. Refuses
// (returns false, model untouched) a text that is not exactly 1128 characters long; a
// non-hex character reads as a zero digit pair, so any 1128-character text is defined.
bool DecodeParameterImage(std::string_view text, ParameterModel& model, DecodeOptions options = {});
// The same from the image frame's 552 data bytes (a reply as it came); refuses any other
// size.
bool DecodeParameterImageData(std::span<const std::uint8_t> data, ParameterModel& model,
                              DecodeOptions options = {});

// The image text of the model as an editor without a link writes it: header
// A5A5A500520028000228, the 64 records from the model (bytes no block uses are 00),
// 41 zero bytes and AA.
std::string EncodeParameterImage(const ParameterModel& model);

}  // namespace veltrane
