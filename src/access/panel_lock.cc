#include "access/panel_lock.h"

#include <algorithm>
#include <array>

#include "protocol/send_slots.h"

namespace veltrane {
namespace {

bool IsLetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

bool IsPanelPassword(std::string_view text) {
  return text.size() == kPasswordLength && std::all_of(text.begin(), text.end(), IsLetterOrDigit);
}

PanelLock::PanelLock(ProtocolEngine& engine, ParameterModel& model, OperationView& view,
                     LockView& lock_view)
    : engine_(engine), model_(model), view_(view), lock_view_(lock_view) {}

void PanelLock::ShowUnlock() {
  lock_view_.SetMainWindowEnabled(false);
  lock_view_.ShowLockLabel(true);
  lock_view_.ShowPasswordDialog(PasswordDialog::kUnlock);
}

bool PanelLock::Send(PasswordDialog dialog, std::string_view password) {
  if (!IsPanelPassword(password)) {
    lock_view_.ClearPassword(dialog);
    view_.ShowMessage(kMsgSixCharacters);
    return false;
  }
  if (!engine_.Connected()) return false;
  std::array<std::uint8_t, 8> data{};
  std::copy(password.begin(), password.end(), data.begin());
  const bool unlock = dialog == PasswordDialog::kUnlock;
  // The dialog stays open until the processor answers.
  engine_.QueueSlotFrame(
      unlock ? kUnlockSlot : kLockSlot,
      BuildWriteFrame(engine_.DeviceId(), unlock ? kObjUnlock : kObjLock, 0, data));
  return true;
}

void PanelLock::SendUnlock(std::string_view password) { Send(PasswordDialog::kUnlock, password); }

void PanelLock::SendLock(std::string_view password) { Send(PasswordDialog::kLock, password); }

void PanelLock::OpenLockDialog() {
  if (!engine_.Connected()) return;
  lock_view_.SetMainWindowEnabled(false);
  lock_view_.ShowPasswordDialog(PasswordDialog::kLock);
}

void PanelLock::CancelLockDialog() {
  lock_view_.ClosePasswordDialog(PasswordDialog::kLock);
  // A panel locked meanwhile keeps the main window disabled.
  if (!Locked()) lock_view_.SetMainWindowEnabled(true);
}

void PanelLock::OnUnlockResult(std::uint8_t status) {
  if (status == 1) {
    lock_view_.ClearPassword(PasswordDialog::kUnlock);
    lock_view_.ShowWrongPassword();
    Report(PasswordDialog::kUnlock, PasswordResult::kRefused);
    return;
  }
  model_.panel_locked = 0;
  lock_view_.SetMainWindowEnabled(true);
  lock_view_.ShowLockLabel(false);
  lock_view_.ClosePasswordDialog(PasswordDialog::kUnlock);
  lock_view_.ClosePasswordDialog(PasswordDialog::kLock);
  Report(PasswordDialog::kUnlock, PasswordResult::kAccepted);
}

void PanelLock::Report(PasswordDialog dialog, PasswordResult result) {
  if (listener_) listener_(dialog, result);
}

void PanelLock::OnLockResult(std::uint8_t status) {
  // A refusal leaves the dialog open for another try, as the processor asks.
  if (status != 1) {
    Report(PasswordDialog::kLock, PasswordResult::kRefused);
    return;
  }
  model_.panel_locked = 1;
  // The lock dialog has done its work; left open, its "Cancel" would enable the main
  // window of a locked panel.
  lock_view_.ClosePasswordDialog(PasswordDialog::kLock);
  ShowUnlock();
  lock_view_.ClearPassword(PasswordDialog::kUnlock);
  Report(PasswordDialog::kLock, PasswordResult::kAccepted);
}

}  // namespace veltrane
