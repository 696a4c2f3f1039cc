#pragma once

// How an operation on the processor ended, as a value. The windows turn it into the
// program's texts (they show `text` as they always have), veltrane-ctl into its exit code,
// message and JSON; nothing decides a result by reading a message.

#include <functional>
#include <string>
#include <utility>

namespace veltrane {

enum class Operation {
  kConnect,
  kStorePreset,
  kRecallPreset,
  kReadImage,   // the live image, for a preset file or a read-back
  kStoreFile,   // the preset file written
  kLoadFile,    // a preset file written to the processor
  kReadSlots,   // the 20 slots read, for a backup or a read-back
  kSaveBackup,  // the backup file written
  kRestore,     // a backup written into the 20 slots
};

enum class OutcomeKind {
  kDone,
  kNoAnswer,   // a time-out ran out
  kNoPort,     // the port could not be opened
  kLinkLost,   // the port closed, the adapter went away, the connection was interrupted
  kFileError,  // a file could not be read, is damaged, or could not be written
  kCancelled,  // the user (a dialog, a signal) stopped it
  kBusy,       // another operation holds the processor; nothing was done
};

struct Outcome {
  Operation operation = Operation::kConnect;
  OutcomeKind kind = OutcomeKind::kDone;
  // Slots written or records read before the end, of how many.
  int done = 0;
  int total = 0;
  std::string file{};
  // The program's own message for it, as the windows show it; empty when none is shown.
  std::string text{};
  // The system's reason (a file or a port), and what the user can do about it.
  std::string reason{};
  std::string note{};
  // A backup that could not be saved where asked, kept here instead.
  std::string fallback_file{};

  bool ok() const { return kind == OutcomeKind::kDone; }
};

using OutcomeListener = std::function<void(const Outcome&)>;

// Held by each operation: tells the listener, if any, how the operation ended.
class OutcomeReporter {
 public:
  void SetOutcomeListener(OutcomeListener listener) { listener_ = std::move(listener); }
  void Report(const Outcome& outcome) const {
    if (listener_) listener_(outcome);
  }

 private:
  OutcomeListener listener_;
};

}  // namespace veltrane
