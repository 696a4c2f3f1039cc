#pragma once

// The windows' side of the core as a terminal program sees it: questions are answered
// Yes (the command line was the question), the file dialog answers with the command's
// file, messages are kept for the session to judge, progress is a one-line bar on
// standard error when it is a terminal, and the lists and dialogs are plain state.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "access/device_settings.h"
#include "access/panel_lock.h"
#include "link/hid_link.h"
#include "protocol/view.h"
#include "storage/device_presets.h"

namespace veltrane {

class TerminalView : public SilentConnectionView,
                     public OperationView,
                     public PresetView,
                     public LockView,
                     public DeviceNumberView,
                     public HidLinkView {
 public:
  explicit TerminalView(bool show_progress) : show_progress_(show_progress) {}

  // ConnectionView and OperationView share these two, ConnectionView and HidLinkView the third.
  void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
  void HideDetailWindow() override {}
  void SetPortListsEnabled(bool) override {}
  void AskYesNo(std::string_view, std::string_view, std::function<void(bool)> answer) override {
    answer(true);
  }
  void ChooseFile(const FileDialogRequest&,
                  std::function<void(std::optional<std::string>)> chosen) override;
  void ShowTransferBox(bool shown) override;
  void SetTransferProgress(int percent) override;
  void SetOperationPanelsEnabled(bool) override {}

  // PresetView
  void ShowPresetList(const std::array<std::string, kPresetCount>& entries, int selected) override {
    preset_entries.assign(entries.begin(), entries.end());
    preset_position = selected;
  }
  void SelectPreset(int position) override { preset_position = position; }
  int PresetListPosition() const override { return preset_position; }
  int SlotSelectorPosition() const override { return slot_position; }
  std::string NameBoxText() const override { return name; }
  void SetNameBoxText(std::string_view) override {}  // the command gives the name

  // LockView
  void SetMainWindowEnabled(bool) override {}
  void ShowLockLabel(bool) override {}
  void ShowPasswordDialog(PasswordDialog) override {}
  void ClosePasswordDialog(PasswordDialog) override {}
  void ClearPassword(PasswordDialog) override {}
  void QuitEditor() override {}

  // DeviceNumberView
  void SelectDeviceNumber(int) override {}
  void SelectChangeEntry(int) override {}
  int ChangeListPosition() const override { return change_position; }

  // HidLinkView: the HID layer's history and lists have no place on a terminal.
  void AddHistoryLine(const std::string&) override {}
  void SetDeviceList(const std::vector<std::string>&) override {}
  void SetStatusText(const std::string&) override {}

  std::vector<std::string> messages;
  std::string file;  // what the file dialog answers
  // Where a save that failed on `file` goes instead (a backup's 26 s of reading), and
  // whether it went there.
  std::string fallback_file;
  std::string fallback_used;
  int files_chosen = 0;
  std::vector<std::string> preset_entries;
  int preset_position = -1;
  int slot_position = 0;
  std::string name;
  int change_position = 0;

 private:
  bool show_progress_ = false;
  bool bar_shown_ = false;
};

}  // namespace veltrane
