#include "cli/session.h"

#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "cli/parameters.h"
#include "cli/port_probe.h"
#include "link/hid_history.h"
#include "model/blocks.h"
#include "model/image_codec.h"
#include "model/tables.h"
#include "response/alignment.h"
#include "storage/image_text.h"
#include "storage/windows1252.h"

namespace veltrane {
namespace {

constexpr int kPollMs = 10;
constexpr int kHidSearchMs = 2500;  // the HID layer looks every second
constexpr int kSettingsWaitMs = 1500;
constexpr int kAnswerWaitMs = 3000;  // an acknowledge or a lock result
constexpr int kCloseWaitMs = 1000;
// However chatty the processor, a step that waits on --timeout ends after this (or after
// --timeout when that is longer).
constexpr std::int64_t kStepBoundMs = 120'000;

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::optional<int> Number(const std::string& text, int low, int high) {
  const std::optional<int> n = ParseInteger(text);
  if (n && *n >= low && *n <= high) return n;
  return std::nullopt;
}

// The limiter in numbers and units: threshold in dB, attack in ms, release as a multiple
// of the attack, ratio as N:1 (null for inf:1, which JSON has no number for). A value
// outside the lists (an image may hold one) is its index as received.
QJsonObject LimiterJson(const OutputParams& o) {
  const auto number = [](auto& names, int i, std::string_view cut) -> QJsonValue {
    if (i >= static_cast<int>(names.size())) return i;
    std::string text(names[i]);
    if (const std::size_t at = text.find_first_of(cut); at != std::string::npos) text.resize(at);
    const std::optional<double> v = ParseDecimal(text);
    return v ? QJsonValue(*v) : QJsonValue();
  };
  return {{"threshold_db", number(kLimiterThresholdNames, o.limiter_threshold, "d")},
          {"attack_ms", number(kLimiterAttackNames, o.limiter_attack, "")},
          {"release_x", number(kLimiterReleaseNames, o.limiter_release, "X")},
          {"ratio", number(kLimiterRatioNames, o.limiter_ratio, ":")}};
}

// Where a file is to be written, checked before any processor work: a folder, a device, a
// missing or read-only folder are refused while nothing has been asked of the processor.
std::string CheckOutputPath(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (fs::exists(status)) {
    if (fs::is_directory(status)) return path + ": is a folder, not a file";
    if (!fs::is_regular_file(status)) return path + ": not a regular file (a device or a pipe)";
    if (access(path.c_str(), W_OK) != 0) return path + ": " + std::strerror(errno);
    return {};
  }
  const fs::path folder = fs::path(path).has_parent_path() ? fs::path(path).parent_path() : ".";
  if (!fs::is_directory(folder, ec)) return path + ": the folder " + folder.string() + " does not exist";
  if (access(folder.c_str(), W_OK) != 0) {
    return path + ": cannot write in " + folder.string() + ": " + std::strerror(errno);
  }
  return {};
}

// -v: the bytes of the serial line with the session's time, for support.
void TraceBytes(std::FILE* err, std::int64_t ms, char direction,
                std::span<const std::uint8_t> bytes) {
  std::fprintf(err, "veltrane-ctl: %8.3f s %c", static_cast<double>(ms) / 1000, direction);
  for (const std::uint8_t b : bytes) std::fprintf(err, " %02X", b);
  std::fputc('\n', err);
}

class TracingSerialPort : public SerialPort {
 public:
  TracingSerialPort(SerialPort& port, TimerHost& timers, std::FILE* err)
      : port_(port), timers_(timers), err_(err) {}
  bool Open(const std::string& name) override { return port_.Open(name); }
  std::string OpenFailureNote() const override { return port_.OpenFailureNote(); }
  std::string OpenFailureReason() const override { return port_.OpenFailureReason(); }
  void Close() override { port_.Close(); }
  bool IsOpen() const override { return port_.IsOpen(); }
  void Write(std::span<const std::uint8_t> bytes) override {
    TraceBytes(err_, timers_.NowMs(), '>', bytes);
    port_.Write(bytes);
  }

 private:
  SerialPort& port_;
  TimerHost& timers_;
  std::FILE* err_;
};

// A file in the temporary folder, named so that no earlier one is replaced.
std::string BackupFallbackPath() {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path folder = fs::temp_directory_path(ec);
  if (ec) folder = "/tmp";
  const auto stamp = std::chrono::system_clock::now().time_since_epoch() / std::chrono::seconds(1);
  return (folder / ("veltrane-backup-" + std::to_string(stamp) + "-" + std::to_string(getpid()) +
                    ".txt"))
      .string();
}

// A port path relative to the current folder is taken as given: Qt would look for a bare
// or relative name under /dev.
std::string PortPath(const std::string& port) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (port.empty() || port.front() == '/') return port;
  if (port.find('/') != std::string::npos || fs::exists(port, ec)) {
    return fs::absolute(port, ec).string();
  }
  return port;
}

}  // namespace

CtlSession::CtlSession(CtlOptions options, CtlEnvironment& environment, std::FILE* out,
                       std::FILE* err)
    : options_(std::move(options)),
      environment_(environment),
      out_(out),
      err_(err),
      timers_(environment.Timers()),
      view_(isatty(fileno(err)) != 0 && !options_.json),
      engine_(timers_, model_, view_),
      processor_(timers_, engine_, model_,
                 ProcessorViews{
                     .operations = view_, .presets = view_, .lock = view_, .device_number = view_},
                 files_) {
  serial_port_ = &environment_.Serial([this](std::span<const std::uint8_t> bytes) {
    last_heard_ms_ = timers_.NowMs();
    if (options_.verbose) TraceBytes(err_, last_heard_ms_, '<', bytes);
    engine_.OnBytes(bytes);
  });
  if (options_.verbose) {
    tracer_ = std::make_unique<TracingSerialPort>(*serial_port_, timers_, err_);
    serial_port_ = tracer_.get();
  }
  engine_.SetSerialPort(serial_port_);
  processor_.SetOutcomeListener([this](const Outcome& outcome) { outcomes_.push_back(outcome); });
  engine_.SetDeviceId(static_cast<std::uint8_t>(options_.device - 1));
  poll_ = timers_.CreateTimer("CtlPoll", kPollMs, [this] {
    if (on_poll_) on_poll_();
  });
}

CtlSession::~CtlSession() {
  poll_->Stop();
  if (hid_) hid_->Stop();
}

void CtlSession::Start(std::function<void(int)> finished) {
  finished_ = std::move(finished);
  result_json_["command"] = Q(options_.command);
  timers_.Defer(0, [this, alive = std::weak_ptr<bool>(alive_)] {
    if (alive.expired()) return;
    if (options_.command == "ports") {
      Ports();
      return;
    }
    if (!CheckArguments()) return;
    const bool offline = options_.port.empty() && !options_.hid;
    if (!offline) return Connect();
    // fit and predict without a processor: the channel as a fresh one, bands flat.
    if (options_.command == "fit") Fit();
    if (options_.command == "predict") Predict();
  });
}

// ---------------------------------------------------------------------------------------
// Before anything is opened

bool CtlSession::CheckArguments() {
  const std::string error = ArgumentError();
  if (error.empty()) return true;
  Fail(kExitUsage, error);
  return false;
}

// What is wrong with the command's arguments, before anything is opened; empty when
// nothing is.
std::string CtlSession::ArgumentError() {
  const std::string& command = options_.command;
  const std::vector<std::string>& args = options_.args;
  if (command == "set") {
    ParameterModel scratch;
    const SetOutcome outcome = ApplySetArguments(args, scratch);
    if (!outcome.error.empty()) return "set: " + outcome.error;
  } else if (command == "dump" || command == "backup") {
    if (const std::string error = CheckOutputPath(args[0]); !error.empty()) {
      return command + ": " + error;
    }
  } else if (command == "load" || command == "restore") {
    return ReadTransferFile(command == "restore");
  } else if (command == "store" || command == "recall") {
    if (!Number(args[0], 1, kPresetCount)) return command + ": the preset number is 1 to 20";
    if (command == "store" && !IsStorablePresetName(args[1])) {
      return "store: a name has at most 19 characters, each one Windows-1252 can hold";
    }
  } else if (command == "set-device") {
    if (!Number(args[0], 1, kChangeListCount)) return "set-device: the device number is 1 to 251";
  } else if (command == "align") {
    const std::optional<int> a = ParseChannel(args[0]);
    const std::optional<int> b = ParseChannel(args[1]);
    if (!a || !b || !IsOutput(*a) || !IsOutput(*b) || *a == *b) {
      return "align: give two different outputs, e.g. align out1 out2";
    }
  } else if (command == "fit" || command == "predict") {
    return ReadFitArguments();
  } else if (command == "unlock" || command == "lock") {
    if (!IsPanelPassword(args[0])) {
      return command + ": " + std::string(kMsgSixCharacters) + " (letters and digits)";
    }
  }
  return {};
}

// load and restore: the file is read and checked before the processor is touched.
std::string CtlSession::ReadTransferFile(bool backup) {
  const std::string& path = options_.args[0];
  CheckedFile file = ReadImageFile(files_, path, backup);
  if (file.error.empty()) {
    file_text_ = std::move(file.text);
    return {};
  }
  // A sound file of the other kind is named as such rather than called damaged.
  if (file.damaged && ReadImageFile(files_, path, !backup).error.empty()) {
    return path + (backup ? ": this is a preset file, not a backup (write it with load)"
                          : ": this is a backup of 20 presets, not a preset file (write it "
                            "with restore)");
  }
  return file.damaged ? path + ": " + file.error : file.error;
}

std::string CtlSession::ReadFitArguments() {
  const std::string& command = options_.command;
  if (command == "predict") {
    if (const std::string error = CheckOutputPath(options_.args.back()); !error.empty()) {
      return "predict: " + error;
    }
  }
  FitJobRead read = ReadFitJob(command, options_.args, options_.fit, files_);
  if (!read.job) return read.error;
  fit_job_ = std::move(read.job);
  return {};
}

void CtlSession::Ports() {
  QJsonArray serial;
  for (const std::string& port : environment_.SerialPorts()) {
    serial.append(Q(port));
    result_lines_.push_back("serial " + port);
  }
  QJsonArray hid;
  ListProcessorHid(*environment_.CreateHidBackend(), result_lines_, hid);
  result_json_["serial_ports"] = serial;
  result_json_["hid_devices"] = hid;
  if (result_lines_.empty()) result_lines_.push_back("no serial ports and no processor on USB");
  Succeed("");
}

// ---------------------------------------------------------------------------------------
// Connection

void CtlSession::Connect() {
  if (options_.hid) {
    hid_backend_ = environment_.CreateHidBackend();
    hid_ = std::make_unique<HidLink>(*hid_backend_, timers_, view_);
    hid_->AttachEngine(&engine_);
    hid_->Start();
    WaitFor([this] { return engine_.HidMode(); },
            [this] {
              engine_.ConnectButtonClicked();
              OnConnected();
            },
            "a processor on USB", kHidSearchMs);
    return;
  }
  engine_.SelectPort(PortPath(options_.port), 1);
  engine_.ConnectButtonClicked();
  OnConnected();
}

void CtlSession::OnConnected() {
  // The names end the handshake; the settings follow through the send slots.
  WaitFor([this] { return engine_.Connected() && !engine_.Connecting(); },
          [this] {
            const std::int64_t since = timers_.NowMs();
            WaitFor(
                [this, since] {
                  return settings_.AnswersReceived() > 0 ||
                         timers_.NowMs() - since > kSettingsWaitMs;
                },
                [this] {
                  const bool allowed = options_.command == "unlock" || options_.command == "info";
                  if (lock_.Locked() && !allowed) {
                    Fail(kExitLocked, "the processor's panel is locked (unlock it first)");
                    return;
                  }
                  RunCommand();
                },
                "the device settings");
          },
          "the connection");
}

void CtlSession::RunCommand() {
  const std::string& c = options_.command;
  if (c == "info") return Info();
  if (c == "show") return Show();
  if (c == "set") return Set();
  if (c == "dump" || c == "load" || c == "backup" || c == "restore") return Transfer();
  if (c == "store") return StorePreset();
  if (c == "recall") return RecallPreset();
  if (c == "set-device") return SetDevice();
  if (c == "unlock") return Password(true);
  if (c == "lock") return Password(false);
  if (c == "align") return Align();
  if (c == "fit") return Fit();
  if (c == "predict") return Predict();
}

// ---------------------------------------------------------------------------------------
// Commands

void CtlSession::Info() {
  QJsonObject& j = result_json_;
  const int number = settings_.DeviceNumber();
  j["port"] = options_.hid ? QStringLiteral("hid") : Q(options_.port);
  j["identity_seen"] = engine_.IdentitySeen();
  j["device_number"] = number != 0 ? number : options_.device;
  j["active_preset"] = presets_.ActivePreset();
  j["setting1"] = settings_.Setting1();
  j["setting2"] = settings_.Setting2();
  j["locked"] = lock_.Locked();
  QJsonArray names;
  result_lines_.push_back(std::string("identity: ") +
                          (engine_.IdentitySeen() ? "TAMBREL2X" : "not sent"));
  result_lines_.push_back("device number: " + std::to_string(j["device_number"].toInt()));
  result_lines_.push_back("active preset: " + std::to_string(presets_.ActivePreset()));
  result_lines_.push_back("settings: " + std::to_string(settings_.Setting1()) + " " +
                          std::to_string(settings_.Setting2()));
  result_lines_.push_back(std::string("panel: ") + (lock_.Locked() ? "locked" : "unlocked"));
  for (int slot = 1; slot <= kPresetCount; ++slot) {
    const std::string& name = presets_.Names().Name(slot);
    names.append(QJsonObject{{"slot", slot}, {"name", Q(name)}});
    result_lines_.push_back("preset " + std::to_string(slot) + ": " + name);
  }
  j["presets"] = names;
  Succeed("");
}

void CtlSession::Show() {
  QJsonArray channels;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    const ChannelParams& ch = model_.channels[channel];
    QJsonObject c{
        {"channel", Q(ChannelName(channel))},
        {"gain_db", kChannelGainTable[ch.gain]},
        {"delay_ms", ch.delay * 0.021},
        {"mute", ch.mute != 0},
        {"polarity", ch.polarity != 0 ? QStringLiteral("inverted") : QStringLiteral("normal")},
        {"eq_bypass", ch.eq_bypass != 0}};
    QJsonArray bands;
    for (int n = 0; n < kBandsPerChannel; ++n) {
      const BandValues b = BandValuesOf(model_.bands[BandId(channel, n)]);
      bands.append(QJsonObject{{"band", n + 1},
                               {"type", Q(std::string(kEqTypeNames[b.type]))},
                               {"freq_hz", b.freq_hz},
                               {"gain_db", b.gain_db},
                               {"q", b.q}});
    }
    c["eq"] = bands;
    c["crossover"] = QJsonObject{
        {"hp_type", Q(std::string(kCrossoverTypeNames[std::min<int>(ch.hp_type, 11)]))},
        {"hp_freq_hz", kFreqTable[std::min<int>(ch.hp_freq, kFreqIndexMax)]},
        {"hp_off", ch.hp_freq == 0},
        {"lp_type", Q(std::string(kCrossoverTypeNames[std::min<int>(ch.lp_type, 11)]))},
        {"lp_freq_hz", kFreqTable[std::min<int>(ch.lp_freq, kFreqIndexMax)]},
        {"lp_off", ch.lp_freq == kFreqIndexMax}};
    if (IsOutput(channel)) {
      const OutputParams& o = model_.Output(channel);
      const auto name = [](auto& names, int i) {
        return i < static_cast<int>(names.size()) ? Q(std::string(names[i])) : QString::number(i);
      };
      c["route"] = name(kRouteNames, o.route);
      c["limiter"] = LimiterJson(o);
    }
    channels.append(c);
    for (const std::string& line : DescribeChannel(model_, channel)) result_lines_.push_back(line);
  }
  result_json_["channels"] = channels;
  Succeed("");
}

void CtlSession::Set() {
  const SetOutcome outcome = ApplySetArguments(options_.args, model_);
  for (const std::string& warning : outcome.warnings) {
    std::fprintf(err_, "veltrane-ctl: warning: %s\n", warning.c_str());
  }
  for (const BlockAddress& b : outcome.changed) {
    engine_.QueueSlotFrame(SlotOfBlock(b.channel, b.block),
                           BuildBlockFrame(model_, engine_.DeviceId(), b.channel, b.block));
  }
  QJsonArray warnings;
  for (const std::string& warning : outcome.warnings) warnings.append(Q(warning));
  result_json_["warnings"] = warnings;
  // What the tables made of each number, so that a rounding is never silent.
  QJsonArray values;
  for (const SetValue& v : outcome.values) {
    values.append(QJsonObject{{"parameter", Q(v.parameter)},
                              {"requested", v.requested},
                              {"stored", std::round(v.stored * 1000) / 1000},
                              {"moved", v.Moved()}});
    if (v.Moved() && !v.clamped && !options_.json && !quiet_) {
      std::fprintf(err_, "veltrane-ctl: %s\n", v.Describe().c_str());
    }
  }
  result_json_["values"] = values;
  WaitFor([this] { return engine_.SendSlotsIdle(); },
          [this, changed = outcome.changed] {
            if (!options_.verify.value_or(true)) {
              Succeed("changed " + std::to_string(changed.size()) + " parameter block(s)");
              return;
            }
            const std::string encoded = EncodeParameterImage(model_);
            VerifyImage(ImageDataBytes(encoded), true, changed);
          },
          "the changes to leave");
}

void CtlSession::Transfer() {
  const std::string& c = options_.command;
  view_.file = options_.args[0];
  if (c == "backup") view_.fallback_file = BackupFallbackPath();
  result_json_["file"] = Q(options_.args[0]);
  const int names = presets_.NamesReceived();
  const bool gate_was_free = !gate_.Busy();
  if (c == "dump") file_.StoreFile();
  if (c == "load") file_.LoadFile();
  if (c == "backup") backup_.SaveToPc();
  if (c == "restore") backup_.LoadToDevice();
  if (!gate_was_free || !gate_.Busy()) {
    Fail(kExitNoAnswer, c + " could not start");
    return;
  }
  const Operation operation = c == "dump"   ? Operation::kStoreFile
                              : c == "load" ? Operation::kLoadFile
                              : c == "backup" ? Operation::kSaveBackup
                                              : Operation::kRestore;
  WaitFor([this, operation] { return OutcomeOf(operation) != nullptr && !gate_.Busy(); },
          [this, c, names] {
            const bool verify = options_.verify.value_or(c == "restore");
            if (c == "load" && verify) {
              VerifyImage(ImageDataBytes(file_text_), true, {});
            } else if (c == "restore" && verify) {
              std::vector<std::vector<std::uint8_t>> sent;
              for (std::size_t k = 0; k < kBackupSlots; ++k) {
                sent.push_back(ImageDataBytes(
                    std::string_view(file_text_).substr(k * kImageTextLength, kImageTextLength)));
              }
              VerifySlots(std::move(sent));
            } else if (c == "restore") {
              // The restore ends by asking for the names; their answer is awaited so that
              // it is not left on the line for the next program to read.
              const std::int64_t since = timers_.NowMs();
              WaitFor(
                  [this, names, since] {
                    return presets_.NamesReceived() != names ||
                           timers_.NowMs() - since > kAnswerWaitMs;
                  },
                  [this] { Succeed("written from " + options_.args[0]); }, "the preset names");
            } else {
              const bool wrote = c == "dump" || c == "backup";
              Succeed((wrote ? "saved " : "written from ") + options_.args[0]);
            }
          },
          c);
}

void CtlSession::StorePreset() {
  const int slot = std::stoi(options_.args[0]);
  view_.slot_position = slot - 1;
  view_.name = options_.args[1];
  presets_.StorePreset();
  WaitFor(
      [this] { return OutcomeOf(Operation::kStorePreset) != nullptr; },
      [this, slot] {
        Succeed("stored preset " + std::to_string(slot) + " as \"" + options_.args[1] + "\"");
      },
      "the store's acknowledge", kAnswerWaitMs);
}

void CtlSession::RecallPreset() {
  const int slot = std::stoi(options_.args[0]);
  view_.preset_position = slot - 1;
  presets_.LoadPreset();
  if (!presets_.RecallPending()) {
    Fail(kExitNoAnswer, "recall could not start");
    return;
  }
  WaitFor([this] { return !presets_.RecallPending(); },
          [this, slot] {
            if (FailureFromOutcomes()) return;
            Succeed("recalled preset " + std::to_string(slot));
          },
          "the recalled preset");
}

void CtlSession::SetDevice() {
  const int number = std::stoi(options_.args[0]);
  view_.change_position = number - 1;
  settings_.ChangeDeviceId();
  // The write leaves at the old address; then the settings are asked at the new one, and
  // only their answer shows that the processor took the number.
  WaitFor([this] { return engine_.SendSlotsIdle(); },
          [this, number] {
            const int answers = settings_.AnswersReceived();
            engine_.MarkSlot(kSettingsRequestSlot);
            WaitFor([this, answers] { return settings_.AnswersReceived() != answers; },
                    [this, number] {
                      if (settings_.DeviceNumber() != number) {
                        Fail(kExitNoAnswer, "the processor answered as device " +
                                                std::to_string(settings_.DeviceNumber()) +
                                                ", not " + std::to_string(number));
                        return;
                      }
                      result_json_["device_number"] = number;
                      Succeed("the processor answers as device " + std::to_string(number) +
                              " now (use --device " + std::to_string(number) + ")");
                    },
                    "the processor at its new number", kAnswerWaitMs);
          },
          "the settings write");
}

void CtlSession::Password(bool unlock) {
  const PasswordDialog dialog = unlock ? PasswordDialog::kUnlock : PasswordDialog::kLock;
  auto result = std::make_shared<std::optional<PasswordResult>>();
  lock_.SetResultListener([result, dialog](PasswordDialog answered, PasswordResult r) {
    if (answered == dialog) *result = r;
  });
  if (unlock) {
    lock_.SendUnlock(options_.args[0]);
  } else {
    lock_.SendLock(options_.args[0]);
  }
  WaitFor([result] { return result->has_value(); },
          [this, unlock, result] {
            result_json_["locked"] = lock_.Locked();
            if (**result == PasswordResult::kRefused) {
              Fail(kExitNoAnswer, unlock ? "the processor refused the password"
                                         : "the processor refused to lock the panel");
              return;
            }
            Succeed(unlock ? "the panel is unlocked" : "the panel is locked");
          },
          unlock ? "the unlock result" : "the lock result", kAnswerWaitMs);
}

// ---------------------------------------------------------------------------------------
// Verification by reading back

void CtlSession::Align() {
  const std::array<int, 2> pair = {*ParseChannel(options_.args[0]),
                                   *ParseChannel(options_.args[1])};
  const AlignmentResult result = SuggestAlignment(model_, pair[0], pair[1]);
  if (!result.suggestion) {
    Fail(kExitUsage, result.error == AlignmentError::kSilent
                         ? "align: an output is muted or fed by no input; there is no sum"
                         : "align: the two outputs' levels do not cross between 20 Hz and 20 kHz");
    return;
  }
  const AlignmentSuggestion& s = *result.suggestion;
  // Dividing by the scale gives the double nearest the short decimal, which prints short.
  const auto rounded = [](double value, double scale) { return std::round(value * scale) / scale; };
  QJsonObject& j = result_json_;
  QJsonObject polarity, delay;
  QJsonArray outputs;
  for (int i = 0; i < 2; ++i) {
    const QString name = Q(ChannelName(pair[i]));
    outputs.append(name);
    polarity[name] = s.polarity[i] ? QStringLiteral("inverted") : QStringLiteral("normal");
    delay[name] = rounded(s.delay_steps[i] * kDelayStepMs, 1000);
    result_lines_.push_back(ChannelName(pair[i]) + ": polarity " +
                            (s.polarity[i] ? "inverted" : "normal") + ", delay " +
                            FormatDelay(s.delay_steps[i]));
  }
  j["outputs"] = outputs;
  j["crossover_hz"] = rounded(s.crossover_hz, 10);
  j["polarity"] = polarity;
  j["delay_ms"] = delay;
  j["flatness_before_db"] = rounded(s.flatness_before_db, 10);
  j["flatness_after_db"] = rounded(s.flatness_after_db, 10);
  char summary[160];
  std::snprintf(summary, sizeof summary,
                "crossover %.0f Hz; sum over its octave %.1f dB peak to peak before, %.1f after",
                s.crossover_hz, s.flatness_before_db, s.flatness_after_db);
  result_lines_.insert(result_lines_.begin(), summary);
  if (!options_.apply) {
    Succeed("");
    return;
  }
  model_ = WithAlignment(model_, s);
  WriteBlocks({{pair[0], kChannelBlock}, {pair[1], kChannelBlock}});
}

void CtlSession::WriteBlocks(std::vector<BlockAddress> changed) {
  for (const BlockAddress& b : changed) {
    engine_.QueueSlotFrame(SlotOfBlock(b.channel, b.block),
                           BuildBlockFrame(model_, engine_.DeviceId(), b.channel, b.block));
  }
  WaitFor([this] { return engine_.SendSlotsIdle(); },
          [this, changed] {
            if (!options_.verify.value_or(true)) {
              Succeed("written");
              return;
            }
            VerifyImage(ImageDataBytes(EncodeParameterImage(model_)), true, changed);
          },
          "the changes to leave");
}

void CtlSession::Fit() {
  const FitReport report = RunFit(model_, *fit_job_);
  if (!std::isfinite(report.result.rms_before_db)) {
    Fail(kExitUsage, "fit: the measurement has no usable point in the range");
    return;
  }
  for (auto it = report.json.begin(); it != report.json.end(); ++it) {
    result_json_[it.key()] = it.value();
  }
  result_lines_ = report.lines;
  if (!options_.apply) {
    Succeed("");
    return;
  }
  const int channel = fit_job_->channel;
  model_ = WithFittedBands(model_, channel, report.result);
  std::vector<BlockAddress> changed;
  for (int n = 0; n < kBandsPerChannel; ++n) changed.push_back({channel, FirstEqBlock(channel) + n});
  WriteBlocks(std::move(changed));
}

void CtlSession::Predict() {
  const FitJob& job = *fit_job_;
  const ParameterModel model =
      job.fitted ? WithFittedBands(model_, job.channel, RunFit(model_, job).result) : model_;
  const std::optional<std::string> text = PredictionText(model, job);
  if (!text) {
    Fail(kExitUsage, "predict: the measurement has no usable point");
    return;
  }
  if (const std::string error = files_.WriteAtomically(job.output_file, *text); !error.empty()) {
    Fail(kExitUsage, "predict: cannot save " + job.output_file + ": " + error);
    return;
  }
  result_json_["file"] = Q(job.output_file);
  Succeed("predicted response of " + ChannelName(job.channel) + " written to " + job.output_file);
}

void CtlSession::VerifyImage(std::vector<std::uint8_t> sent, bool skip_lock_byte,
                             std::vector<BlockAddress> only) {
  // The answer is awaited like any other, so that a processor falling silent or a line
  // closing during the read-back ends the run with the time-out's message or --timeout.
  auto image = std::make_shared<std::optional<std::optional<std::string>>>();
  file_.ReadImage([image](std::optional<std::string> read) { *image = std::move(read); });
  WaitFor([image] { return image->has_value(); },
          [this, image, sent = std::move(sent), skip_lock_byte, only = std::move(only)] {
            if (!**image) {
              Fail(kExitNoAnswer, "the processor did not answer the read-back");
              return;
            }
            CompareReadBack(sent, ***image, skip_lock_byte, only);
          },
          "the read-back");
}

void CtlSession::CompareReadBack(const std::vector<std::uint8_t>& sent, const std::string& image,
                                 bool skip_lock_byte, const std::vector<BlockAddress>& only) {
  std::vector<ByteDifference> differences =
      CompareImageData(sent, ImageDataBytes(image), skip_lock_byte);
  if (!only.empty()) {
    std::erase_if(differences, [&](const ByteDifference& d) {
      const int record = static_cast<int>(d.index / 8);
      return record >= 64 ||
             std::find(only.begin(), only.end(), BlockOfImageRecord(record)) == only.end();
    });
  }
  QJsonArray list;
  for (const ByteDifference& d : differences) {
    result_lines_.push_back("differs: " + DescribeDifference(d));
    list.append(Q(DescribeDifference(d)));
  }
  result_json_["differences"] = list;
  if (!differences.empty()) {
    Fail(kExitDifference, "read back: " + std::to_string(differences.size()) +
                              " byte(s) differ from what was written");
    return;
  }
  Succeed("written and read back identical");
}

void CtlSession::VerifySlots(std::vector<std::vector<std::uint8_t>> sent) {
  using Records = std::optional<std::vector<std::string>>;
  auto records = std::make_shared<std::optional<Records>>();
  backup_.ReadSlots([records](Records read) { *records = std::move(read); });
  WaitFor([records] { return records->has_value(); },
          [this, records, sent = std::move(sent)] {
            if (!**records) {
              Fail(kExitNoAnswer, "the processor did not answer the read-back");
              return;
            }
            CompareSlots(sent, ***records);
          },
          "the read-back");
}

void CtlSession::CompareSlots(const std::vector<std::vector<std::uint8_t>>& sent,
                              const std::vector<std::string>& records) {
  QJsonArray bad_slots;
  for (std::size_t k = 0; k < records.size() && k < sent.size(); ++k) {
    const auto differences = CompareImageData(sent[k], ImageDataBytes(records[k]), false);
    if (differences.empty()) continue;
    bad_slots.append(static_cast<int>(k + 1));
    for (const ByteDifference& d : differences) {
      result_lines_.push_back("slot " + std::to_string(k + 1) +
                              " differs: " + DescribeDifference(d));
    }
  }
  engine_.StartScheduler();
  result_json_["differing_slots"] = bad_slots;
  if (!bad_slots.isEmpty()) {
    std::string numbers;
    for (const auto& slot : bad_slots) {
      numbers += (numbers.empty() ? "" : ", ") + std::to_string(slot.toInt());
    }
    Fail(kExitDifference, "read back: slot(s) " + numbers + " differ from the file");
    return;
  }
  Succeed("written and read back: all 20 slots identical");
}

// ---------------------------------------------------------------------------------------
// Waiting, ending, reporting

void CtlSession::WaitFor(std::function<bool()> ready, std::function<void()> then, std::string what,
                         int limit_ms) {
  // --timeout is a limit on silence: a step goes on while the processor keeps answering
  // (a backup's records, a restore's acknowledges), up to a bound of its own.
  const bool silence = limit_ms < 0;
  if (silence) limit_ms = options_.timeout_ms;
  const std::int64_t since = timers_.NowMs();
  on_poll_ = [this, ready = std::move(ready), then = std::move(then), what = std::move(what),
              limit_ms, since, silence] {
    if (done_) return;
    if (FailureFromOutcomes()) return;
    if (ready()) {
      poll_->Stop();
      // `then` may start the next wait, which replaces this very function: run a copy,
      // and touch nothing captured once it is gone.
      const std::function<void()> next = then;
      on_poll_ = nullptr;
      next();
      return;
    }
    const std::int64_t now = timers_.NowMs();
    const std::int64_t quiet_since = silence ? std::max(since, last_heard_ms_) : since;
    if (now - quiet_since > limit_ms) {
      Fail(kExitNoAnswer, silence ? "no answer: nothing heard for " +
                                        std::to_string(limit_ms / 1000) + " s while waiting for " +
                                        what
                                  : "no answer: gave up waiting for " + what);
    } else if (silence && now - since > std::max<std::int64_t>(limit_ms, kStepBoundMs)) {
      Fail(kExitNoAnswer, "no answer: gave up waiting for " + what);
    }
  };
  poll_->Start();
}

bool CtlSession::FailureFromOutcomes() {
  for (; outcomes_seen_ < outcomes_.size(); ++outcomes_seen_) {
    const Outcome& o = outcomes_[outcomes_seen_];
    if (o.operation == Operation::kRestore) result_json_["slots_written"] = o.done;
    if (o.operation == Operation::kReadSlots && options_.command == "backup") {
      result_json_["slots_read"] = o.done;
    }
    if (o.ok()) continue;
    ++outcomes_seen_;
    FailWith(o);
    return true;
  }
  // A port released by a read or write error: the connection is closed at once, so that
  // the operation running says how far it got, rather than waiting for a time-out.
  if (!link_lost_ && engine_.Connected() && !engine_.Connecting() && !engine_.LinkOpen()) {
    link_lost_ = true;
    engine_.CloseConnection();
  } else if (link_lost_ && !engine_.Connected()) {
    Fail(kExitNoAnswer, "the link to the processor was lost (the port closed)");
    return true;
  }
  return false;
}

const Outcome* CtlSession::OutcomeOf(Operation operation) const {
  for (auto it = outcomes_.rbegin(); it != outcomes_.rend(); ++it) {
    if (it->operation == operation) return &*it;
  }
  return nullptr;
}

void CtlSession::FailWith(const Outcome& o) {
  switch (o.kind) {
    case OutcomeKind::kDone:
      return;
    case OutcomeKind::kNoPort:
      Fail(kExitNoAnswer, "cannot open " + options_.port + ": " +
                              (o.reason.empty() ? o.text : o.reason) +
                              (o.note.empty() ? "" : "\n" + o.note));
      return;
    case OutcomeKind::kNoAnswer:
      Fail(kExitNoAnswer, "the processor did not answer (" + o.text + ")");
      return;
    case OutcomeKind::kLinkLost:
      Fail(kExitNoAnswer, LinkLostText(o));
      return;
    case OutcomeKind::kCancelled:
      Fail(interrupt_code_ != 0 ? interrupt_code_ : kExitUsage, StoppedText(o));
      return;
    case OutcomeKind::kBusy:
      Fail(kExitNoAnswer, "another operation is still running on the processor");
      return;
    case OutcomeKind::kFileError:
      if (o.fallback_file.empty()) {
        Fail(kExitUsage, o.text);
        return;
      }
      // The save failed, but the presets read are kept.
      result_json_["fallback_file"] = Q(o.fallback_file);
      Fail(kExitUsage, o.text + "; the 20 presets read were saved to " + o.fallback_file);
      return;
  }
}

std::string CtlSession::LinkLostText(const Outcome& o) const {
  const std::string lost = "the link to the processor was lost";
  const std::string n = std::to_string(o.done);
  switch (o.operation) {
    case Operation::kConnect:
      // The keep-alive poll went unanswered: the editor's "interrupt.".
      return o.text.empty() ? lost : "the processor did not answer (" + o.text + ")";
    case Operation::kRestore:
      if (o.done == 0) return lost + " before slot 1 was written; slot 1 may be incomplete";
      return lost + " after slot " + n + " of 20; slots " + std::to_string(o.done + 1) +
             "-20 were not written (slot " + std::to_string(o.done + 1) + " may be incomplete)";
    case Operation::kReadSlots:
      if (options_.command == "restore") {
        return lost + " during the read-back: all 20 slots were written, not verified";
      }
      return lost + " after reading " + n + " of 20 slots; nothing was saved";
    case Operation::kLoadFile:
      return o.done == 1 ? lost + " after the preset was written (not read back)"
                         : lost + " while the preset was being written; it may be incomplete";
    default:
      return lost;
  }
}

std::string CtlSession::StoppedText(const Outcome& o) const {
  const std::string n = std::to_string(o.done);
  switch (o.operation) {
    case Operation::kRestore:
      if (o.done == 0) return "stopped before slot 1; slots 1-20 unchanged";
      return "stopped after slot " + n + " of 20; slots " + std::to_string(o.done + 1) +
             "-20 unchanged";
    case Operation::kReadSlots:
      if (options_.command == "restore") {
        return "stopped during the read-back: all 20 slots were written, not verified";
      }
      return "stopped after reading " + n + " of 20 slots; nothing was saved";
    case Operation::kLoadFile:
      return o.done == 1 ? "stopped: the preset was written to the processor, not read back"
                         : "stopped before the preset was written; the processor is unchanged";
    default:
      return "stopped";
  }
}

void CtlSession::Interrupt(int signal) {
  if (done_ || interrupt_code_ != 0) return;
  interrupt_code_ = 128 + signal;
  result_json_["signal"] = signal == SIGTERM ? QStringLiteral("SIGTERM") : QStringLiteral("SIGINT");
  // A write on its way finishes first; the outcome it reports ends the run.
  if (backup_.RequestStop() || file_.RequestStop()) return;
  Fail(interrupt_code_, "stopped");
}

void CtlSession::Succeed(const std::string& text) {
  if (!text.empty()) result_lines_.push_back(text);
  Finish(kExitDone);
}

void CtlSession::Fail(int code, const std::string& text) {
  if (!quiet_) std::fprintf(err_, "veltrane-ctl: %s\n", text.c_str());
  result_json_["error"] = Q(text);
  Finish(code);
}

void CtlSession::Finish(int code) {
  if (done_) return;
  done_ = true;
  poll_->Stop();
  QJsonObject& j = result_json_;
  j["ok"] = code == kExitDone;
  j["exit_code"] = code;
  QJsonArray lines;
  for (const std::string& line : result_lines_) lines.append(Q(line));
  // Documents with their own shape (show, info, align, fit) carry no text lines.
  if (!j.contains("channels") && !j.contains("presets") && !j.contains("outputs") &&
      !j.contains("bands")) {
    j["output"] = lines;
  }
  if (quiet_) {
    // Nothing printed; the caller reads Result().
  } else if (options_.json) {
    std::fputs(QJsonDocument(j).toJson(QJsonDocument::Indented).constData(), out_);
  } else if (options_.quiet && code == kExitDone) {
    // -q: the exit status says it.
  } else {
    for (const std::string& line : result_lines_) std::fprintf(out_, "%s\n", line.c_str());
  }
  std::fflush(out_);
  // Disconnect cleanly before leaving, as the editor's button does.
  if (engine_.Connected() || engine_.Connecting()) engine_.ConnectButtonClicked();
  const std::int64_t since = timers_.NowMs();
  on_poll_ = [this, code, since] {
    if (engine_.Connected() && timers_.NowMs() - since <= kCloseWaitMs) return;
    poll_->Stop();
    if (hid_) hid_->Stop();
    // The caller may destroy this session from its callback.
    timers_.Defer(0, [finished = finished_, code] { finished(code); });
    on_poll_ = nullptr;  // destroys this function: nothing of it is used after
  };
  poll_->Start();
}

}  // namespace veltrane
