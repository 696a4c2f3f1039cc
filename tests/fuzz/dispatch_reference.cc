#include "dispatch_reference.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "model/image_codec.h"

namespace veltrane::fuzz {
namespace {

enum class Rule { kExactly, kAtLeast };

enum class Action {
  kDropLongPollAnswer,
  kIdentity,
  kUnlockResult,
  kLockResult,
  kRefresh,
  kDeviceSettings,
  kDropPollAnswer,
  kDropSettingsAck,
  kPlainAck,
  kBackupRecord,
  kImage,
  kNames,
};

// Characters compared: the text at a 1-based position.
struct Field {
  std::size_t position = 0;
  std::string_view text;
};

struct Row {
  int number = 0;
  std::array<Field, 2> fields;  // an empty text compares nothing
  Rule rule = Rule::kExactly;
  std::size_t length = 0;  // characters
  Action action = Action::kRefresh;
};

// The dispatch table, row for row.
constexpr std::array<Row, 12> kTable = {{
    {1, {{{9, "52002B000014"}, {}}}, Rule::kAtLeast, 64, Action::kDropLongPollAnswer},
    {2, {{{9, "52"}, {13, "A0"}}}, Rule::kExactly, 72, Action::kIdentity},
    {3, {{{9, "51"}, {13, "22"}}}, Rule::kExactly, 40, Action::kUnlockResult},
    {4, {{{9, "51"}, {13, "23"}}}, Rule::kExactly, 40, Action::kLockResult},
    {5, {{{9, "51"}, {13, "24"}}}, Rule::kExactly, 24, Action::kRefresh},
    {6, {{{9, "520021000008"}, {}}}, Rule::kAtLeast, 40, Action::kDeviceSettings},
    {7, {{{9, "52002B000008"}, {}}}, Rule::kAtLeast, 40, Action::kDropPollAnswer},
    {8, {{{9, "510021000000"}, {}}}, Rule::kAtLeast, 24, Action::kDropSettingsAck},
    {9, {{{9, "510000000000"}, {}}}, Rule::kAtLeast, 24, Action::kPlainAck},
    {10, {{{9, "52"}, {13, "29"}}}, Rule::kAtLeast, 1128, Action::kBackupRecord},
    {11, {{{9, "52"}, {13, "28"}}}, Rule::kExactly, 1128, Action::kImage},
    {12, {{{9, "520026"}, {}}}, Rule::kAtLeast, 824, Action::kNames},
}};

constexpr std::string_view kStartMarker = "A5A5A5";
constexpr std::string_view kIdentity = "TAMBREL2X";
constexpr std::size_t kBufferLimit = 1500;

bool Matches(const Row& row, const std::string& buffer) {
  for (const Field& field : row.fields) {
    if (field.text.empty()) continue;
    const std::size_t first = field.position - 1;
    if (buffer.size() < first + field.text.size()) return false;
    if (std::string_view(buffer).substr(first, field.text.size()) != field.text) return false;
  }
  return row.rule == Rule::kExactly ? buffer.size() == row.length : buffer.size() >= row.length;
}

int Nibble(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

// Data byte k of the reply: characters 21 + 2k and 22 + 2k.
std::uint8_t DataByte(const std::string& buffer, std::size_t k) {
  const std::size_t at = 20 + 2 * k;
  return static_cast<std::uint8_t>(Nibble(buffer[at]) * 16 + Nibble(buffer[at + 1]));
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
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t b : bytes) {
    text += kDigits[b / 16];
    text += kDigits[b % 16];
  }
  return text;
}

std::string NamesEvent(const std::string& buffer) {
  std::string event = "hook.names";
  for (std::size_t n = 0; n < 20; ++n) {
    event += n == 0 ? ' ' : '|';
    for (std::size_t i = 0; i < 20; ++i) {
      const std::uint8_t c = DataByte(buffer, 20 * n + i);
      if (c == 0) break;
      event += static_cast<char>(c);
    }
  }
  return event;
}

}  // namespace

std::string ReferenceDispatch(ReferenceState& state, std::string buffer,
                              std::vector<std::string>& events) {
  auto& running = state.running;
  // Any arrival is a sign of life.
  running.erase("chcon");
  running.erase("intimer");
  if (buffer.size() >= kBufferLimit) buffer.clear();
  // A read may end inside the start marker; the rest of the frame follows.
  const bool marker_so_far = buffer == "A5" || buffer == "A5A5";
  if (!buffer.starts_with(kStartMarker) && !marker_so_far) buffer.clear();

  bool image_matched = false;
  for (const Row& row : kTable) {
    if (row.number == 12 && image_matched) continue;
    if (row.number == 10 && !state.backup) continue;
    if (!Matches(row, buffer)) continue;
    switch (row.action) {
      case Action::kDropLongPollAnswer:
        buffer.erase(0, 64);
        break;
      case Action::kIdentity: {
        bool same = true;
        for (std::size_t k = 0; k < kIdentity.size(); ++k) {
          same = same && DataByte(buffer, k) == static_cast<std::uint8_t>(kIdentity[k]);
        }
        // Only a connection goes on connecting; with none open it would arm time-outs.
        if (same && state.connected) {
          buffer.clear();
          events.push_back("write " + RequestText(state.device_id, 0x28));
          running.insert({"chcon", "chcon112", "chcon188"});
        }
        break;
      }
      // These three are taken out once handled, so that a second answer with no poll
      // between (a password typed again at once) is not hidden behind the first.
      case Action::kUnlockResult:
        events.push_back("hook.unlock " + std::to_string(DataByte(buffer, 6)));
        buffer.clear();
        break;
      case Action::kLockResult:
        events.push_back("hook.lock " + std::to_string(DataByte(buffer, 6)));
        buffer.clear();
        break;
      case Action::kRefresh:
        events.push_back("view.apply");
        events.push_back("view.message OK");
        buffer.clear();
        break;
      case Action::kDeviceSettings:
        events.push_back("hook.settings " + std::to_string(DataByte(buffer, 0)) + " " +
                         std::to_string(DataByte(buffer, 1)) + " " +
                         std::to_string(DataByte(buffer, 2)) + " " +
                         std::to_string(DataByte(buffer, 3)));
        buffer.clear();
        break;
      case Action::kDropPollAnswer:
        buffer.erase(0, 40);
        return buffer;  // the rest of the table waits for the next arrival
      case Action::kDropSettingsAck:
        buffer.erase(0, 24);
        break;
      case Action::kPlainAck:
        events.push_back("hook.plain-ack");
        buffer.erase(0, 24);
        break;
      case Action::kBackupRecord:
        events.push_back("hook.backup-record " + buffer.substr(0, 1128));
        buffer.erase(0, 1128);
        break;
      case Action::kImage:
        image_matched = true;
        running.erase("chcon112");
        if (state.file_save) {
          state.file_save = false;
          events.push_back("hook.image-to-file " + buffer);
          buffer.clear();
          if (state.connected) running.insert({"Timer1", "sendTimer"});
          return buffer;
        }
        events.push_back("view.hide-detail");
        DecodeParameterImage(buffer, state.model);
        events.push_back("view.apply");
        state.settings_request_pending = false;
        buffer.clear();
        events.push_back("view.port-lists 0");
        if (state.preset_load) {
          state.preset_load = false;
          events.push_back("hook.preset-load-ended");
          return buffer;
        }
        events.push_back("view.connecting-box 0");
        running.erase("Timer10");
        events.push_back("view.panels 1");
        if (state.model.panel_locked == 1) events.push_back("hook.show-unlock");
        // An image with no connection open is shown, but asks for nothing.
        if (state.connected) events.push_back("write " + RequestText(state.device_id, 0x26));
        break;
      case Action::kNames:
        running.erase("chcon188");
        events.push_back(NamesEvent(buffer));
        buffer.clear();
        // Names after a disconnect are shown but start nothing.
        if (state.connected) {
          state.settings_request_pending = true;
          running.insert({"sendTimer", "Timer1"});
        }
        break;
    }
  }
  return buffer;
}

}  // namespace veltrane::fuzz
