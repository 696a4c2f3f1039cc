#pragma once

// The processor's front-panel lock. A locked processor locks the editor too: the main
// window is disabled, "LOCK" shows over the graph and the unlock dialog (TForm7) asks for
// the six-character password until the processor accepts it. The lock dialog (TForm8)
// sends the lock request. The editor holds no password; it obeys the processor's answer.

#include <functional>
#include <cstdint>
#include <string_view>

#include "model/parameter_model.h"
#include "protocol/engine.h"
#include "protocol/view.h"

namespace veltrane {

inline constexpr std::string_view kMsgSixCharacters = "Please input six characters!";
inline constexpr std::size_t kPasswordLength = 6;

enum class PasswordDialog { kUnlock, kLock };

class LockView {
 public:
  virtual ~LockView() = default;
  virtual void SetMainWindowEnabled(bool enabled) = 0;
  virtual void ShowLockLabel(bool shown) = 0;
  virtual void ShowPasswordDialog(PasswordDialog dialog) = 0;
  virtual void ClosePasswordDialog(PasswordDialog dialog) = 0;
  // Empties the dialog's edit and gives it the focus.
  virtual void ClearPassword(PasswordDialog dialog) = 0;
  // The processor refused the unlock password; the user is told under the edit.
  virtual void ShowWrongPassword() {}
  // The unlock dialog's "Quit": the editor ends at once, nothing is asked or closed.
  virtual void QuitEditor() = 0;
};

// Six letters or digits, case kept.
bool IsPanelPassword(std::string_view text);

// What the processor answered to a password: a value for the programs that act on it
// (veltrane-ctl's exit code), the windows' reaction stays in the LockView calls.
enum class PasswordResult { kAccepted, kRefused };
using PasswordListener = std::function<void(PasswordDialog, PasswordResult)>;

class PanelLock {
 public:
  PanelLock(ProtocolEngine& engine, ParameterModel& model, OperationView& view,
            LockView& lock_view);

  bool Locked() const { return model_.panel_locked == 1; }

  // Disables the main window, shows "LOCK" and the unlock dialog.
  void ShowUnlock();
  // The dialogs' "OK" (and Enter in their edits).
  void SendUnlock(std::string_view password);
  void SendLock(std::string_view password);
  // The lock dialog opens only while connected and disables the main window meanwhile.
  void OpenLockDialog();
  void CancelLockDialog();
  void Quit() { lock_view_.QuitEditor(); }

  // Results (status byte 1 means locked), routed here only while connected.
  void OnUnlockResult(std::uint8_t status);
  void OnLockResult(std::uint8_t status);

  // Told each result, after the view.
  void SetResultListener(PasswordListener listener) { listener_ = std::move(listener); }

 private:
  bool Send(PasswordDialog dialog, std::string_view password);
  void Report(PasswordDialog dialog, PasswordResult result);

  ProtocolEngine& engine_;
  ParameterModel& model_;
  OperationView& view_;
  LockView& lock_view_;
  PasswordListener listener_;
};

}  // namespace veltrane
