#include "dispatch_reference.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "model/image_codec.h"

namespace veltrane::fuzz {
namespace {

using Buffer = std::vector<std::uint8_t>;

enum class Action {
  kNothing,
  kIdentity,
  kUnlockResult,
  kLockResult,
  kRefresh,
  kDeviceSettings,
  kPlainAck,
  kBackupRecord,
  kImage,
  kNames,
};

struct Row {
  std::uint8_t command;
  std::uint8_t object;
  std::size_t min_length;  // data bytes
  std::size_t max_length;
  Action action;
};

// The reply table, row for row.
constexpr std::array<Row, 12> kTable = {{
    {0x52, 0x2B, 8, 8, Action::kNothing},     // poll answer
    {0x52, 0x2B, 20, 20, Action::kNothing},   // long poll answer
    {0x52, 0xA0, 24, 24, Action::kIdentity},  // identity
    {0x51, 0x22, 8, 8, Action::kUnlockResult},
    {0x51, 0x23, 8, 8, Action::kLockResult},
    {0x51, 0x24, 0, 0, Action::kRefresh},
    {0x52, 0x21, 8, 8, Action::kDeviceSettings},
    {0x51, 0x21, 0, 0, Action::kNothing},  // settings write acknowledge
    {0x51, 0x00, 0, 0, Action::kPlainAck},
    {0x52, 0x29, 552, 552, Action::kBackupRecord},
    {0x52, 0x28, 552, 552, Action::kImage},
    {0x52, 0x26, 400, 552, Action::kNames},
}};

constexpr std::string_view kIdentity = "TAMBREL2X";
constexpr std::size_t kLongestData = 552;

std::string Text(const std::uint8_t* bytes, std::size_t n) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < n; ++i) {
    text += kDigits[bytes[i] / 16];
    text += kDigits[bytes[i] % 16];
  }
  return text;
}

// A short request as the codec section writes it out: A5 A5 A5, DeviceId, A2, Bank 0,
// the object, Index 0, Length 0000, DeviceId XOR A2 XOR object, AA.
std::string RequestText(std::uint8_t device_id, std::uint8_t object) {
  const std::uint8_t bytes[] = {0xA5,
                                0xA5,
                                0xA5,
                                device_id,
                                0xA2,
                                0,
                                object,
                                0,
                                0,
                                0,
                                static_cast<std::uint8_t>(device_id ^ 0xA2 ^ object),
                                0xAA};
  return Text(bytes, sizeof bytes);
}

std::string NamesEvent(const std::uint8_t* data) {
  std::string event = "hook.names";
  for (std::size_t n = 0; n < 20; ++n) {
    event += n == 0 ? ' ' : '|';
    for (std::size_t i = 0; i < 20 && data[20 * n + i] != 0; ++i) {
      event += static_cast<char>(data[20 * n + i]);
    }
  }
  return event;
}

// What is left of `buffer` from its first start marker on (or from the A5 or A5 A5 it
// ends with); the bytes before are noise.
void DropToMarker(Buffer& buffer, std::size_t from) {
  std::size_t at = from;
  for (; at < buffer.size(); ++at) {
    bool marker = true;
    for (std::size_t k = at; k < at + 3 && k < buffer.size(); ++k)
      marker = marker && buffer[k] == 0xA5;
    if (marker) break;
  }
  buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(at));
}

// Cuts the next sound frame off the front, or returns false when the rest has not come.
bool NextFrame(Buffer& buffer, Buffer& frame) {
  for (;;) {
    DropToMarker(buffer, 0);
    if (buffer.size() < 10) return false;
    const std::size_t length = buffer[8] * 256u + buffer[9];
    if ((buffer[4] != 0x51 && buffer[4] != 0x52) || length > kLongestData) {
      DropToMarker(buffer, 1);
      continue;
    }
    const std::size_t total = length + 12;
    if (buffer.size() < total) return false;
    std::uint8_t sum = 0;
    for (std::size_t k = 3; k < total - 2; ++k) sum ^= buffer[k];
    if (sum != buffer[total - 2] || buffer[total - 1] != 0xAA) {
      DropToMarker(buffer, 1);
      continue;
    }
    frame.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(total));
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(total));
    return true;
  }
}

// The image row. True when it drops what followed the image (a connection asks for the
// names next).
bool OnImage(ReferenceState& state, const Buffer& frame, std::vector<std::string>& events) {
  auto& running = state.running;
  running.erase("image_timeout");
  const std::string text = Text(frame.data(), frame.size());
  if (state.file_save) {
    state.file_save = false;
    events.push_back("hook.image-to-file " + text);
    if (state.connected) running.insert({"poll", "slot_scan"});
    return false;
  }
  events.push_back("view.hide-detail");
  DecodeParameterImage(text, state.model);
  events.push_back("view.apply");
  state.settings_request_pending = false;
  events.push_back("view.port-lists 0");
  if (state.preset_load) {
    state.preset_load = false;
    events.push_back("hook.preset-load-ended");
    return false;
  }
  events.push_back("view.connecting-box 0");
  running.erase("connect_progress");
  events.push_back("view.panels 1");
  if (state.model.panel_locked == 1) events.push_back("hook.show-unlock");
  // An image with no connection open is shown, but asks for nothing.
  if (!state.connected) return false;
  events.push_back("write " + RequestText(state.device_id, 0x26));
  return true;
}

// One frame's row. True when the frame's action drops whatever followed it.
bool Act(ReferenceState& state, const Buffer& frame, std::vector<std::string>& events) {
  const std::uint8_t* data = frame.data() + 10;
  const std::size_t length = frame.size() - 12;
  for (const Row& row : kTable) {
    if (row.command != frame[4] || row.object != frame[6] || length < row.min_length ||
        length > row.max_length) {
      continue;
    }
    switch (row.action) {
      case Action::kNothing:
        return false;
      case Action::kIdentity: {
        bool same = true;
        for (std::size_t k = 0; k < kIdentity.size(); ++k) {
          same = same && data[k] == static_cast<std::uint8_t>(kIdentity[k]);
        }
        // Only a connection goes on connecting; with none open it would arm time-outs.
        if (!same || !state.connected) return false;
        events.push_back("write " + RequestText(state.device_id, 0x28));
        state.running.insert({"connect_timeout", "image_timeout", "names_timeout"});
        return true;
      }
      case Action::kUnlockResult:
        events.push_back("hook.unlock " + std::to_string(data[6]));
        return false;
      case Action::kLockResult:
        events.push_back("hook.lock " + std::to_string(data[6]));
        return false;
      case Action::kRefresh:
        events.push_back("view.apply");
        events.push_back("view.message OK");
        return false;
      case Action::kDeviceSettings:
        events.push_back("hook.settings " + std::to_string(data[0]) + " " +
                         std::to_string(data[1]) + " " + std::to_string(data[2]) + " " +
                         std::to_string(data[3]));
        return false;
      case Action::kPlainAck:
        events.push_back("hook.plain-ack");
        return false;
      case Action::kBackupRecord:
        if (state.backup)
          events.push_back("hook.backup-record " + Text(frame.data(), frame.size()));
        return false;
      case Action::kImage:
        return OnImage(state, frame, events);
      case Action::kNames:
        state.running.erase("names_timeout");
        events.push_back(NamesEvent(data));
        // Names after a disconnect are shown but start nothing.
        if (state.connected) {
          state.settings_request_pending = true;
          state.running.insert({"slot_scan", "poll"});
        }
        return false;
    }
  }
  return false;  // a frame no row knows
}

}  // namespace

std::vector<std::uint8_t> ReferenceDispatch(ReferenceState& state, Buffer buffer, bool arrived,
                                            std::vector<std::string>& events) {
  if (!arrived) return buffer;
  // Any arrival is a sign of life.
  state.running.erase("connect_timeout");
  state.running.erase("poll_timeout");
  Buffer frame;
  while (NextFrame(buffer, frame)) {
    if (Act(state, frame, events)) return {};
  }
  return buffer;
}

}  // namespace veltrane::fuzz
