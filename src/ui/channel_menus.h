#pragma once

// The context menus of the places that belong to one channel: its strip in the main window
// ("Copy settings to…") and its page in the detail window (the same, and the import and
// export of its EQ bands as a filter list). Each action is one edit of the history. Tests
// answer the dialogs through handlers, as they do the operations' questions.

#include <QObject>
#include <functional>
#include <optional>

#include "model/edit_history.h"
#include "model/parameter_model.h"
#include "storage/eq_filter_file.h"
#include "ui/channel_dialogs.h"

class QAction;
class QWidget;

namespace veltrane {

class MainWindow;

class ChannelMenus : public QObject, public FilterImportView {
  Q_OBJECT

 public:
  // The copy's targets and parts, or none when cancelled.
  using CopyHandler = std::function<std::optional<CopyRequest>(int source)>;
  // True to import.
  using ImportHandler = std::function<bool(int channel, const FilterImport& plan)>;

  ChannelMenus(MainWindow& main, const ParameterModel& model, EditHistory& history);
  // The import and export behind the page menus; they are built with this object as
  // their view, so they come after it.
  void Attach(EqFilterFile& filters) { filters_ = &filters; }

  void SetCopyHandler(CopyHandler handler) { copy_handler_ = std::move(handler); }
  void SetImportHandler(ImportHandler handler) { import_handler_ = std::move(handler); }

  // What "Copy settings to…" does for `source`: asks, then copies as one edit.
  void CopyFrom(int source, QWidget* dialog_parent);
  // What "Align outputs…" does from an output's menu: suggests for the output's pair, and
  // Apply writes both polarities and delays as one edit.
  void AlignFrom(int channel, QWidget* dialog_parent);

  // FilterImportView
  void ConfirmFilterImport(int channel, const FilterImport& plan,
                           std::function<void(bool accept)> accept) override;

 private:
  QAction* AddAction(QWidget* widget, const QString& text, const QString& name);
  void AddAlignAction(QWidget* widget, int channel, QWidget* dialog_parent);
  void Copy(int source, const CopyRequest& request);

  MainWindow& main_;
  const ParameterModel& model_;
  EditHistory& history_;
  EqFilterFile* filters_ = nullptr;
  CopyHandler copy_handler_;
  ImportHandler import_handler_;
};

}  // namespace veltrane
