#pragma once

// The windows' side of the edit history: Ctrl+Z undoes, Ctrl+Y and Ctrl+Shift+Z redo, in
// the main window and in the detail window, and what an undo, a redo, a copy or an import
// changed is shown in the strips, the detail window and the graph without being sent
// again. The history itself is the core's.

#include <QObject>

#include "model/edit_history.h"

class QAction;
class QKeyEvent;

namespace veltrane {

class MainWindow;

enum class HistoryKey { kNone, kUndo, kRedo };
HistoryKey HistoryKeyOf(const QKeyEvent& event);

class EditBinding : public QObject, public EditView {
  Q_OBJECT

 public:
  EditBinding(MainWindow& main, const ParameterModel& model, EditHistory& history);
  ~EditBinding() override;

  // EditView
  void ShowBlocks(const BlockSet& blocks) override;

  // What the keys do. Nothing while the windows are locked for an operation or a Reset.
  bool Undo();
  bool Redo();

  QAction* UndoAction() const { return undo_; }
  QAction* RedoAction() const { return redo_; }

 private:
  bool EditingAllowed() const;

  MainWindow& main_;
  const ParameterModel& model_;
  EditHistory& history_;
  QAction* undo_ = nullptr;
  QAction* redo_ = nullptr;
};

}  // namespace veltrane
