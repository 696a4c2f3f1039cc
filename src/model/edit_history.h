#pragma once

// Undo and redo of the user's edits. A step is the model before and after one edit: a
// click, a typed value, a whole drag or slider gesture, a copy or an import. Undo and redo
// put the parameter blocks of a step back, send the blocks that changed like any edit and
// have the windows show them. Parameter sets from the processor or a file are not edits:
// they replace what the steps were made against, so they clear the history.

#include <bitset>
#include <cstddef>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "model/blocks.h"
#include "model/parameter_model.h"

namespace veltrane {

// Parameter blocks by send slot: bit slot - 1 (slots 1..64).
using BlockSet = std::bitset<kParamSlotCount>;

// The blocks whose bytes differ between two models. The lock byte is no block.
BlockSet ChangedBlocks(const ParameterModel& a, const ParameterModel& b);
// Builds the frame of each block in the set, in slot order.
void SendBlocks(const ParameterModel& model, const BlockSet& blocks, SlotSink& sink);

// The windows: show the blocks of the model that an undo, a redo or an applied edit
// changed, without sending anything.
class EditView {
 public:
  virtual ~EditView() = default;
  virtual void ShowBlocks(const BlockSet& blocks) = 0;
};

class EditHistory {
 public:
  static constexpr std::size_t kDefaultLimit = 500;

  explicit EditHistory(ParameterModel& model, std::size_t limit = kDefaultLimit);

  // Where undo, redo and Apply send the changed blocks and whom they ask to show them;
  // either may be missing.
  void SetOutlets(SlotSink* sink, EditView* view) {
    sink_ = sink;
    view_ = view;
  }

  // An edit spans BeginEdit to EndEdit; edits inside a longer one (the moves of a drag,
  // the values of a slider gesture) belong to it. When the outermost ends, whatever it
  // changed becomes one step. Nothing is copied or allocated until then.
  void BeginEdit() {
    if (depth_++ == 0) Changed();
  }
  void EndEdit();

  // One edit made by `change` on the model: its blocks are sent and shown, and it is one
  // step. Returns the blocks it changed.
  BlockSet Apply(const std::function<void(ParameterModel&)>& change);

  // The model as it stands is the new start: no step to undo or redo.
  void Clear();

  // False when there is nothing to undo or redo. What an edit still open has changed so
  // far becomes a step first, so an undo in the middle of a drag takes back the drag.
  bool Undo();
  bool Redo();

  std::size_t UndoCount() const { return undo_.size(); }
  std::size_t RedoCount() const { return redo_.size(); }
  // An open edit (a drag under way) can be taken back too.
  bool CanUndo() const { return !undo_.empty() || depth_ > 0; }
  bool CanRedo() const { return !redo_.empty(); }
  // Called whenever CanUndo or CanRedo may have changed; null for none.
  void SetOnChange(std::function<void()> on_change) { on_change_ = std::move(on_change); }

  // BeginEdit and EndEdit around a handler; a null history is no history.
  class Scope {
   public:
    explicit Scope(EditHistory* history) : history_(history) {
      if (history_ != nullptr) history_->BeginEdit();
    }
    ~Scope() {
      if (history_ != nullptr) history_->EndEdit();
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    EditHistory* history_;
  };

 private:
  struct Step {
    ParameterModel before;
    ParameterModel after;
  };

  // The changes since the last step, if any, become a step; redo is lost.
  void Record();
  void Restore(const ParameterModel& target);
  void Changed() const {
    if (on_change_) on_change_();
  }

  ParameterModel& model_;
  std::size_t limit_;
  SlotSink* sink_ = nullptr;
  EditView* view_ = nullptr;
  int depth_ = 0;
  ParameterModel start_;  // the model as the last step (or clear) left it
  std::deque<Step> undo_;
  std::vector<Step> redo_;
  std::function<void()> on_change_;
};

}  // namespace veltrane
