#include "model/edit_history.h"

#include <utility>

namespace veltrane {

BlockSet ChangedBlocks(const ParameterModel& a, const ParameterModel& b) {
  BlockSet changed;
  for (int slot = 1; slot <= kParamSlotCount; ++slot) {
    const BlockAddress block = BlockOfSlot(slot);
    if (EncodeBlock(a, block.channel, block.block) != EncodeBlock(b, block.channel, block.block)) {
      changed.set(slot - 1);
    }
  }
  return changed;
}

void SendBlocks(const ParameterModel& model, const BlockSet& blocks, SlotSink& sink) {
  for (int slot = 1; slot <= kParamSlotCount; ++slot) {
    if (!blocks.test(slot - 1)) continue;
    const BlockAddress block = BlockOfSlot(slot);
    switch (KindOfBlock(block.channel, block.block)) {
      case BlockKind::kChannel:
        SendChannelBlock(model, block.channel, sink);
        break;
      case BlockKind::kCrossover:
        SendCrossoverBlock(model, block.channel, sink);
        break;
      case BlockKind::kLimiter:
        SendLimiterBlock(model, block.channel, sink);
        break;
      case BlockKind::kEqBand:
        SendEqBandBlock(model, BandId(block.channel, block.block - FirstEqBlock(block.channel)),
                        sink);
        break;
    }
  }
}

EditHistory::EditHistory(ParameterModel& model, std::size_t limit)
    : model_(model), limit_(limit > 0 ? limit : 1), start_(model) {}

void EditHistory::EndEdit() {
  if (depth_ > 0) --depth_;
  if (depth_ == 0) {
    Record();
    Changed();
  }
}

void EditHistory::Record() {
  if (ChangedBlocks(start_, model_).none()) return;
  redo_.clear();
  undo_.push_back({start_, model_});
  if (undo_.size() > limit_) undo_.pop_front();
  start_ = model_;
  Changed();
}

BlockSet EditHistory::Apply(const std::function<void(ParameterModel&)>& change) {
  Record();  // an earlier edit stays a step of its own
  change(model_);
  const BlockSet changed = ChangedBlocks(start_, model_);
  if (sink_ != nullptr) SendBlocks(model_, changed, *sink_);
  if (view_ != nullptr) view_->ShowBlocks(changed);
  Record();
  return changed;
}

void EditHistory::Clear() {
  undo_.clear();
  redo_.clear();
  start_ = model_;
  Changed();
}

bool EditHistory::Undo() {
  Record();
  if (undo_.empty()) return false;
  Step step = std::move(undo_.back());
  undo_.pop_back();
  Restore(step.before);
  redo_.push_back(std::move(step));
  Changed();
  return true;
}

bool EditHistory::Redo() {
  Record();  // an edit since the last undo has already dropped what could be redone
  if (redo_.empty()) return false;
  Step step = std::move(redo_.back());
  redo_.pop_back();
  Restore(step.after);
  undo_.push_back(std::move(step));
  Changed();
  return true;
}

void EditHistory::Restore(const ParameterModel& target) {
  const BlockSet changed = ChangedBlocks(model_, target);
  // The parameters only: the lock byte is the processor's state, not an edit.
  model_.channels = target.channels;
  model_.outputs = target.outputs;
  model_.bands = target.bands;
  start_ = model_;
  if (sink_ != nullptr) SendBlocks(model_, changed, *sink_);
  if (view_ != nullptr) view_->ShowBlocks(changed);
}

}  // namespace veltrane
