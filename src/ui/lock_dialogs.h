#pragma once

// The two password dialogs (TForm7 unlock, TForm8 lock) and the lock screen that shows
// the panel lock in the main window: the window disabled, "LOCK" over the graph, the
// unlock dialog on top. "Lock panel…" (context menu, Ctrl+L) opens the lock dialog.

#include <QDialog>
#include <functional>
#include <memory>

#include "access/panel_lock.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace veltrane {

class MainWindow;

// Borderless, dark blue; the edit takes letters and digits only, six at most, masked unless
// "Show" is ticked; Enter in it is the "OK" button, Tab and Escape keep their usual work.
class PasswordEntry : public QDialog {
  Q_OBJECT

 public:
  PasswordEntry(const QString& prompt, const QString& second_caption, bool escape_is_second);

  QLineEdit* Edit() const { return edit_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* SecondButton() const { return second_; }
  QCheckBox* ShowToggle() const { return show_; }
  QLabel* Note() const { return note_; }
  void ClearAndFocus();
  // "Wrong password" under the edit until the dialog is cleared or shown again.
  void ShowNote(bool shown);

 signals:
  void Confirmed(const QString& password);
  void SecondClicked();

 protected:
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* edit_ = nullptr;
  QCheckBox* show_ = nullptr;
  QLabel* note_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* second_ = nullptr;
  bool escape_is_second_ = false;
};

class LockScreen : public QObject, public LockView {
  Q_OBJECT

 public:
  explicit LockScreen(MainWindow& main);
  ~LockScreen() override;
  void Attach(PanelLock& lock);

  PasswordEntry& UnlockDialog() const { return *unlock_; }
  PasswordEntry& LockDialog() const { return *lock_; }
  QAction* LockAction() const { return lock_action_; }
  // "Quit" ends the program unless a handler takes it (tests).
  void SetQuitHandler(std::function<void()> handler) { quit_handler_ = std::move(handler); }

  // LockView
  void SetMainWindowEnabled(bool enabled) override;
  void ShowLockLabel(bool shown) override;
  void ShowPasswordDialog(PasswordDialog dialog) override;
  void ClosePasswordDialog(PasswordDialog dialog) override;
  void ClearPassword(PasswordDialog dialog) override;
  void ShowWrongPassword() override;
  void QuitEditor() override;

 private:
  PasswordEntry& Entry(PasswordDialog dialog) const;

  MainWindow& main_;
  std::unique_ptr<PasswordEntry> unlock_;
  std::unique_ptr<PasswordEntry> lock_;
  QAction* lock_action_ = nullptr;
  std::function<void()> quit_handler_;
};

}  // namespace veltrane
