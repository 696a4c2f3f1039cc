#pragma once

// What the protocol core asks of the windows, and the hooks through which replies reach
// the preset, file, backup, lock and device-settings features.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace veltrane {

class ConnectionView {
 public:
  virtual ~ConnectionView() = default;
  // A modal message box with a fixed text ("No port or in use.", "interrupt.", ...).
  virtual void ShowMessage(std::string_view text) = 0;
  // The same box with a second, smaller line under the fixed text that says what the user
  // can do about it. A view without room for it shows the text alone.
  virtual void ShowMessageWithNote(std::string_view text, std::string_view /*note*/) {
    ShowMessage(text);
  }
  // The connect button's caption names the state: "Disconnect" or "Connect".
  virtual void SetConnectCaption(std::string_view caption) = 0;
  // Green (0, 125, 0) while connected, red (255, 0, 0) otherwise.
  virtual void SetLamp(bool connected) = 0;
  // "Please wait,connecting  device.............." box and its progress bar (0..100).
  virtual void ShowConnectingBox(bool shown) = 0;
  virtual void SetConnectingProgress(int percent) = 0;
  // The graph panel, the top bar and the channel-strip panel as a whole.
  virtual void SetPanelsEnabled(bool enabled) = 0;
  // The port list and the device-number list.
  virtual void SetPortListsEnabled(bool enabled) = 0;
  virtual void HideDetailWindow() = 0;
  // Shows the whole model in every control and redraws the graph, sending nothing.
  virtual void ApplyModelToControls() = 0;
  // Disconnect: the detail window's channel back to the first one, any graph drag ended.
  virtual void ResetEditingState() = 0;
};

// A connection with no windows to show it in (a command-line program, a benchmark, a
// seed generator): every call does nothing. Subclasses keep what they care about.
class SilentConnectionView : public ConnectionView {
 public:
  void ShowMessage(std::string_view) override {}
  void SetConnectCaption(std::string_view) override {}
  void SetLamp(bool) override {}
  void ShowConnectingBox(bool) override {}
  void SetConnectingProgress(int) override {}
  void SetPanelsEnabled(bool) override {}
  void SetPortListsEnabled(bool) override {}
  void HideDetailWindow() override {}
  void ApplyModelToControls() override {}
  void ResetEditingState() override {}
};

// A file dialog: no default extension is ever added to a typed name.
struct FileDialogRequest {
  bool save = false;         // save: asks before overwriting, read-only box hidden
  std::string default_name;  // e.g. "Preset_file"; empty for open dialogs
  std::string filter;        // the filter's text, e.g. "Preset_data_file"
};

// What an operation tells the user on the main window's status line: why a button did
// nothing, or that it finished. The windows own the words.
enum class StatusNote {
  kNotConnected,
  kFileLoaded,
  kGroupSaved,
  kGroupLoaded,
  kDeviceNumberChanged,  // with the new device number
};

// What the operations that talk to the processor outside the send slots (presets, files,
// backup, lock, device number) ask of the windows. Questions and file dialogs answer
// through a callback, which may run at once or later: the core never waits inside a
// dialog, so replies and timers keep being handled while one is open.
class OperationView {
 public:
  virtual ~OperationView() = default;
  virtual void ShowMessage(std::string_view text) = 0;
  // Yes and No, a warning icon, No the default; `answer` gets true for Yes.
  virtual void AskYesNo(std::string_view text, std::string_view caption,
                        std::function<void(bool yes)> answer) = 0;
  // The chosen path, or none when the user cancelled.
  virtual void ChooseFile(const FileDialogRequest& dialog,
                          std::function<void(std::optional<std::string> path)> chosen) = 0;
  // "Please wait,sending and receving data." over a bar (0..100), at (307, 317).
  virtual void ShowTransferBox(bool shown) = 0;
  virtual void SetTransferProgress(int percent) = 0;
  // Disabling takes the top bar and the bottom panel with the strips; enabling gives them
  // back together with the graph area.
  virtual void SetOperationPanelsEnabled(bool enabled) = 0;
  virtual void HideDetailWindow() = 0;
  // Programs without a status line ignore these.
  virtual void ShowStatus(StatusNote /*note*/, int /*number*/ = 0) {}
};

// Reply actions owned by later features. Defaults do what a bare editor does.
class ReplyHooks {
 public:
  virtual ~ReplyHooks() = default;
  // Unlock and lock results, status from data byte 6 (1 means locked).
  virtual void OnUnlockResult(std::uint8_t /*status*/) {}
  virtual void OnLockResult(std::uint8_t /*status*/) {}
  // Device settings: current preset, two setting bytes, device number.
  virtual void OnDeviceSettings(const std::array<std::uint8_t, 4>& /*data*/) {}
  // A plain acknowledge (a pending preset store takes it).
  virtual void OnPlainAck() {}
  // The 20 preset names, decoded.
  virtual void OnPresetNames(const std::array<std::string, 20>& /*names*/) {}
  // The first image of a connection says the front panel is locked.
  virtual void ShowUnlock() {}
  // The connection has ended (its port is closed): what was pending with it is void.
  virtual void OnConnectionClosed() {}
  // The model was replaced by the processor's or a file's parameters, or the processor
  // reported that its settings changed: the user's edits before it cannot be taken back.
  virtual void OnImageApplied() {}
};

}  // namespace veltrane
