#pragma once

// One run of veltrane-ctl: connect with the editor's own sequence, run the command with
// the editor's own operations, disconnect, and say how it went. Everything happens in
// the Qt event loop; each step that waits for the processor is bounded by --timeout.

#include <QJsonObject>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "access/processor_operations.h"
#include "cli/command_line.h"
#include "cli/fit_command.h"
#include "cli/terminal_view.h"
#include "link/hid_backend.h"
#include "link/hid_link.h"
#include "disk/qt_file_store.h"
#include "model/parameter_model.h"
#include "protocol/engine.h"
#include "storage/device_presets.h"
#include "storage/group_backup.h"
#include "storage/operation_gate.h"
#include "storage/preset_file.h"

namespace veltrane {

// What a session runs on: time, the serial port and the HID devices. The program uses
// Qt's; tests put a line of simulated processors on a virtual clock behind it.
class CtlEnvironment {
 public:
  using Receiver = std::function<void(std::span<const std::uint8_t>)>;
  virtual ~CtlEnvironment() = default;
  virtual TimerHost& Timers() = 0;
  // The serial port; received bytes go to `receiver` from now on.
  virtual SerialPort& Serial(Receiver receiver) = 0;
  virtual std::unique_ptr<HidBackend> CreateHidBackend() = 0;
  virtual std::vector<std::string> SerialPorts() = 0;
};

class CtlSession {
 public:
  CtlSession(CtlOptions options, CtlEnvironment& environment, std::FILE* out, std::FILE* err);
  ~CtlSession();
  CtlSession(const CtlSession&) = delete;
  CtlSession& operator=(const CtlSession&) = delete;

  // `finished` gets the exit code once, from the event loop.
  void Start(std::function<void(int)> finished);
  // A quiet session prints nothing; its result is read from Result().
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  const QJsonObject& Result() const { return result_json_; }
  // SIGINT or SIGTERM: a write to the processor finishes the slot on its way out and
  // stops there; the run ends with 128 + signal and says how far it got.
  void Interrupt(int signal);

 private:
  bool CheckArguments();
  std::string ArgumentError();
  std::string ReadTransferFile(bool backup);
  std::string ReadFitArguments();
  void Connect();
  void OnConnected();
  void RunCommand();
  void Ports();
  void Info();
  void Show();
  void Set();
  void Transfer();
  void StorePreset();
  void RecallPreset();
  void SetDevice();
  void Password(bool unlock);
  void Align();
  void Fit();
  // Sends the blocks from the model, then reads them back unless --no-verify.
  void WriteBlocks(std::vector<BlockAddress> changed);
  void Predict();
  void VerifyImage(std::vector<std::uint8_t> sent, bool skip_lock_byte,
                   std::vector<BlockAddress> only);
  void VerifySlots(std::vector<std::vector<std::uint8_t>> sent);
  void CompareReadBack(const std::vector<std::uint8_t>& sent, const std::string& image,
                       bool skip_lock_byte, const std::vector<BlockAddress>& only);
  void CompareSlots(const std::vector<std::vector<std::uint8_t>>& sent,
                    const std::vector<std::string>& records);

  // Polls `ready` until it holds, then runs `then`; a failure message from the core or
  // the time-out ends the run first. One wait at a time.
  void WaitFor(std::function<bool()> ready, std::function<void()> then, std::string what,
               int limit_ms = -1);
  // Ends the run on the first failed outcome, or on a link that went away.
  bool FailureFromOutcomes();
  void FailWith(const Outcome& outcome);
  std::string LinkLostText(const Outcome& outcome) const;
  std::string StoppedText(const Outcome& outcome) const;
  const Outcome* OutcomeOf(Operation operation) const;
  void Succeed(const std::string& text);
  void Fail(int code, const std::string& text);
  void Finish(int code);

  CtlOptions options_;
  CtlEnvironment& environment_;
  bool quiet_ = false;
  std::FILE* out_;
  std::FILE* err_;
  std::function<void(int)> finished_;
  bool done_ = false;
  std::vector<Outcome> outcomes_;  // every operation's end, in order
  std::size_t outcomes_seen_ = 0;
  int interrupt_code_ = 0;  // 128 + the signal, once one came
  bool link_lost_ = false;
  std::int64_t last_heard_ms_ = 0;  // the last byte from the serial port
  std::string file_text_;                  // load / restore: the checked file, joined
  std::optional<FitJob> fit_job_;          // fit / predict: the files read and checked
  std::vector<std::string> result_lines_;  // what a command has to say
  QJsonObject result_json_;                // and the same for --json

  TimerHost& timers_;
  SerialPort* serial_port_ = nullptr;
  std::unique_ptr<SerialPort> tracer_;  // -v
  ParameterModel model_;
  TerminalView view_;
  ProtocolEngine engine_;
  std::unique_ptr<HidBackend> hid_backend_;
  std::unique_ptr<HidLink> hid_;
  QtFileStore files_;
  ProcessorOperations processor_;
  OperationGate& gate_ = processor_.Gate();
  DevicePresets& presets_ = processor_.Presets();
  PresetFile& file_ = processor_.File();
  GroupBackup& backup_ = processor_.Backup();
  PanelLock& lock_ = processor_.Lock();
  DeviceSettings& settings_ = processor_.Settings();
  std::unique_ptr<Timer> poll_;
  std::function<void()> on_poll_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace veltrane
