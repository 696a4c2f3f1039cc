#pragma once

// One run of veltrane-ctl: connect with the editor's own sequence, run the command with
// the editor's own operations, disconnect, and say how it went. Everything happens in
// the Qt event loop; each step that waits for the processor is bounded by --timeout.

#include <QObject>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "access/device_settings.h"
#include "access/panel_lock.h"
#include "access/reply_router.h"
#include "cli/command_line.h"
#include "cli/terminal_view.h"
#include "link/hid_backend.h"
#include "link/hid_link.h"
#include "link/qt_file_store.h"
#include "link/qt_timer_host.h"
#include "link/serial_link.h"
#include "model/parameter_model.h"
#include "protocol/engine.h"
#include "storage/device_presets.h"
#include "storage/group_backup.h"
#include "storage/operation_gate.h"
#include "storage/preset_file.h"

class QJsonObject;

namespace veltrane {

class CtlSession : public QObject {
  Q_OBJECT

 public:
  // A null backend means hidapi.
  CtlSession(CtlOptions options, std::unique_ptr<HidBackend> hid_backend, std::FILE* out,
             std::FILE* err);
  ~CtlSession() override;

  // `finished` gets the exit code once, from the event loop.
  void Start(std::function<void(int)> finished);

 private:
  bool CheckArguments();
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
  void VerifyImage(std::vector<std::uint8_t> sent, bool skip_lock_byte,
                   std::vector<BlockAddress> only);
  void VerifySlots(std::vector<std::vector<std::uint8_t>> sent);

  // Polls `ready` until it holds, then runs `then`; a failure message from the core or
  // the time-out ends the run first.
  void WaitFor(std::function<bool()> ready, std::function<void()> then, std::string what,
               int limit_ms = -1);
  bool FailureFromMessages();
  void Succeed(const std::string& text);
  void Fail(int code, const std::string& text);
  void Finish(int code);
  void Print(const QJsonObject& document);

  CtlOptions options_;
  std::FILE* out_;
  std::FILE* err_;
  std::function<void(int)> finished_;
  bool done_ = false;
  std::size_t messages_seen_ = 0;
  std::string file_text_;                     // load / restore: the checked file, joined
  std::vector<std::string> result_lines_;     // what a command has to say
  std::unique_ptr<QJsonObject> result_json_;  // and the same for --json

  QtTimerHost timers_;
  ParameterModel model_;
  TerminalView view_;
  ProtocolEngine engine_;
  SerialLink serial_;
  std::unique_ptr<HidBackend> hid_backend_;
  std::unique_ptr<HidLink> hid_;
  QtFileStore files_;
  OperationGate gate_;
  DevicePresets presets_;
  PresetFile file_;
  GroupBackup backup_;
  PanelLock lock_;
  DeviceSettings settings_;
  ReplyRouter router_;
  QTimer poll_;
};

}  // namespace veltrane
