#include "ui/edit_binding.h"

#include <QAction>
#include <QKeyEvent>

#include "ui/block_diagram.h"
#include "ui/channel_strip.h"
#include "ui/detail_window.h"
#include "ui/main_window.h"
#include "ui/response_graph.h"
#include "ui/widget_colors.h"

namespace veltrane {

HistoryKey HistoryKeyOf(const QKeyEvent& event) {
  const Qt::KeyboardModifiers mods = event.modifiers() & (Qt::ControlModifier | Qt::ShiftModifier |
                                                          Qt::AltModifier | Qt::MetaModifier);
  if (event.key() == Qt::Key_Z && mods == Qt::ControlModifier) return HistoryKey::kUndo;
  if (event.key() == Qt::Key_Y && mods == Qt::ControlModifier) return HistoryKey::kRedo;
  if (event.key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
    return HistoryKey::kRedo;
  }
  return HistoryKey::kNone;
}

EditBinding::EditBinding(MainWindow& main, const ParameterModel& model, EditHistory& history)
    : main_(main), model_(model), history_(history) {
  undo_ = new QAction(QStringLiteral("Undo"), &main);
  undo_->setObjectName(QStringLiteral("UndoAction"));
  undo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  redo_ = new QAction(QStringLiteral("Redo"), &main);
  redo_->setObjectName(QStringLiteral("RedoAction"));
  redo_->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  connect(undo_, &QAction::triggered, this, [this] { Undo(); });
  connect(redo_, &QAction::triggered, this, [this] { Redo(); });
  // Undo and Redo head the main window's own menu; in the detail window they are keys.
  const QList<QAction*> existing = main.actions();
  main.insertActions(existing.isEmpty() ? nullptr : existing.front(), {undo_, redo_});
  if (DetailWindow* detail = main.Detail()) detail->addActions({undo_, redo_});
  // Menu entries and keys alike are off while there is nothing to take back or redo.
  history_.SetOnChange([this] {
    undo_->setEnabled(history_.CanUndo());
    redo_->setEnabled(history_.CanRedo());
  });
  undo_->setEnabled(history_.CanUndo());
  redo_->setEnabled(history_.CanRedo());
}

EditBinding::~EditBinding() { history_.SetOnChange(nullptr); }

bool EditBinding::EditingAllowed() const {
  // isEnabled() also answers for the window around the strips (locked panel).
  if (!main_.Diagram()->isEnabled()) return false;
  const DetailWindow* detail = main_.Detail();
  return detail == nullptr || !detail->Resetting();
}

bool EditBinding::Undo() {
  if (!EditingAllowed()) return false;
  main_.Graph()->EndDrag();
  return history_.Undo();
}

bool EditBinding::Redo() {
  if (!EditingAllowed()) return false;
  main_.Graph()->EndDrag();
  return history_.Redo();
}

void EditBinding::ShowBlocks(const BlockSet& blocks) {
  for (int channel = 0; channel < kChannelCount; ++channel) {
    if (!blocks.test(SlotOfBlock(channel, kChannelBlock) - 1)) continue;
    // As the strip's own button colours it: red when muted, silver when not.
    const ChannelParams& params = model_.channels[channel];
    ChannelStrip* strip = main_.Diagram()->Strip(channel);
    strip->ShowMuteColor(params.mute == 1 ? kActiveRed : kSilver);
    strip->ShowPolarity(params.polarity != 0);
  }
  if (DetailWindow* detail = main_.Detail()) detail->ShowBlocks(blocks);
  main_.Graph()->ShowBlocks(blocks);
}

}  // namespace veltrane
