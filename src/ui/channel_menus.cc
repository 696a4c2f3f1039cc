#include "ui/channel_menus.h"

#include <QAction>
#include <QWidget>
#include <memory>

#include "ui/align_dialog.h"
#include "ui/block_diagram.h"
#include "ui/channel_strip.h"
#include "ui/detail_channel_page.h"
#include "ui/detail_window.h"
#include "ui/main_window.h"

namespace veltrane {

ChannelMenus::ChannelMenus(MainWindow& main, const ParameterModel& model, EditHistory& history)
    : main_(main), model_(model), history_(history) {
  for (int channel : kShownChannels) {
    ChannelStrip* strip = main.Diagram()->Strip(channel);
    QAction* copy =
        AddAction(strip, QStringLiteral("Copy settings to…"), QStringLiteral("CopySettingsAction"));
    connect(copy, &QAction::triggered, this, [this, channel] { CopyFrom(channel, &main_); });
    AddAlignAction(strip, channel, &main_);
  }
  DetailWindow* detail = main.Detail();
  if (detail == nullptr) return;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    QWidget* page = detail->Page(channel);
    QAction* copy =
        AddAction(page, QStringLiteral("Copy settings to…"), QStringLiteral("CopySettingsAction"));
    connect(copy, &QAction::triggered, this,
            [this, channel, detail] { CopyFrom(channel, detail); });
    AddAlignAction(page, channel, detail);
    auto* separator = new QAction(page);
    separator->setSeparator(true);
    page->addAction(separator);
    QAction* import = AddAction(page, QStringLiteral("Import EQ filters…"),
                                QStringLiteral("ImportFiltersAction"));
    connect(import, &QAction::triggered, this, [this, channel] {
      if (filters_ != nullptr) filters_->Import(channel);
    });
    QAction* export_ = AddAction(page, QStringLiteral("Export EQ filters…"),
                                 QStringLiteral("ExportFiltersAction"));
    connect(export_, &QAction::triggered, this, [this, channel] {
      if (filters_ != nullptr) filters_->Export(channel);
    });
  }
}

QAction* ChannelMenus::AddAction(QWidget* widget, const QString& text, const QString& name) {
  // The widget's actions are its menu; the buttons and boxes on it leave theirs to it.
  widget->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* action = new QAction(text, widget);
  action->setObjectName(name);
  widget->addAction(action);
  return action;
}

void ChannelMenus::AddAlignAction(QWidget* widget, int channel, QWidget* dialog_parent) {
  // Only outputs that belong to a pair; Out 4 has none.
  if (channel < kOut1 || channel > kOut3) return;
  QAction* align =
      AddAction(widget, QStringLiteral("Align outputs…"), QStringLiteral("AlignOutputsAction"));
  connect(align, &QAction::triggered, this,
          [this, channel, dialog_parent] { AlignFrom(channel, dialog_parent); });
}

void ChannelMenus::AlignFrom(int channel, QWidget* dialog_parent) {
  auto* dialog = new AlignOutputsDialog(model_, channel, dialog_parent);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [this, dialog] {
    if (const std::optional<AlignmentSuggestion>& s = dialog->Suggestion()) {
      const AlignmentSuggestion suggestion = *s;
      history_.Apply(
          [&suggestion](ParameterModel& model) { model = WithAlignment(model, suggestion); });
    }
  });
  dialog->open();
}

void ChannelMenus::CopyFrom(int source, QWidget* dialog_parent) {
  if (copy_handler_) {
    if (const std::optional<CopyRequest> request = copy_handler_(source)) Copy(source, *request);
    return;
  }
  auto* dialog = new CopySettingsDialog(source, dialog_parent);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this,
          [this, dialog] { Copy(dialog->Source(), dialog->Request()); });
  dialog->open();
}

void ChannelMenus::Copy(int source, const CopyRequest& request) {
  if (request.targets.empty() || !request.parts.Any()) return;
  history_.Apply([&](ParameterModel& model) {
    for (int target : request.targets) CopyChannelParts(model, source, target, request.parts);
  });
}

void ChannelMenus::ConfirmFilterImport(int channel, const FilterImport& plan,
                                       std::function<void(bool accept)> accept) {
  if (import_handler_) {
    accept(import_handler_(channel, plan));
    return;
  }
  DetailWindow* detail = main_.Detail();
  auto* dialog = new FilterImportDialog(
      channel, plan,
      detail != nullptr ? static_cast<QWidget*>(detail) : static_cast<QWidget*>(&main_));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  auto shared = std::make_shared<std::function<void(bool)>>(std::move(accept));
  connect(dialog, &QDialog::accepted, this, [shared] { (*shared)(true); });
  connect(dialog, &QDialog::rejected, this, [shared] { (*shared)(false); });
  dialog->open();
}

}  // namespace veltrane
