#pragma once

// The 20-group backup: all 20 preset slots of the processor to one file on the PC ("save
// 20-group to PC"), and such a file back into the 20 slots ("load 20-group to DV"), after
// which the names are read again.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/engine.h"
#include "protocol/outcome.h"
#include "protocol/timer.h"
#include "protocol/view.h"
#include "storage/file_store.h"
#include "storage/operation_gate.h"

namespace veltrane {

// Asked when the save dialog is cancelled after a file could not be written.
inline constexpr std::string_view kDiscardQuestion =
    "The 20 presets read from the processor are not saved yet. Discard them?";

class GroupBackup : public OutcomeReporter {
 public:
  GroupBackup(TimerHost& timers, ProtocolEngine& engine, OperationView& view, FileStore& files,
              OperationGate& gate);
  ~GroupBackup();
  GroupBackup(const GroupBackup&) = delete;
  GroupBackup& operator=(const GroupBackup&) = delete;

  void SaveToPc();
  void LoadToDevice();
  // With a link: the 20 slots' records, read as the save reads them. `done` gets them in
  // slot order, or nothing after the 25 s time-out (whose message is shown).
  using RecordsDone = std::function<void(std::optional<std::vector<std::string>> records)>;
  void ReadSlots(RecordsDone done);

  // While the save runs, 52/29 records are collected in the order they arrive.
  bool Collecting() const { return read_pending_; }
  void OnRecord(std::string_view record);
  void OnConnectionClosed();

  bool Writing() const { return writing_; }
  // Slots whose records have left for the processor in the write running now (or the
  // last one), and records taken in the read running now.
  int SlotsWritten() const { return slots_written_; }
  int RecordsRead() const { return static_cast<int>(records_.size()); }
  // Ends a write after the slot on its way out (a half-written slot would be worse than
  // a stopped restore), reporting kCancelled; ends a read at once. False when neither runs.
  bool RequestStop();

 private:
  // `failed`: the first path's failure, once a save has failed.
  void ChooseSavePath(std::vector<std::string> records, std::optional<Outcome> failed);
  void AskDiscard(std::vector<std::string> records, Outcome failed);
  void EndReadWith(OutcomeKind kind, std::string text);
  void EndWriteWith(OutcomeKind kind);
  void OnRequestTick();
  void OnReadTimeout();
  void EndRead();
  void LoadChosen(const std::string& path, std::uint64_t epoch);
  void OnRecordSenderTick();
  void FinishWrite(std::uint64_t epoch);
  void EndWrite();
  bool SameConnection(std::uint64_t epoch) const;

  TimerHost& timers_;
  ProtocolEngine& engine_;
  OperationView& view_;
  FileStore& files_;
  OperationGate& gate_;

  bool read_pending_ = false;
  int requests_ = 0;
  std::vector<std::string> records_;
  RecordsDone records_done_;
  bool writing_ = false;
  std::string joined_;
  int slot_counter_ = 0;
  int slots_written_ = 0;
  bool stop_requested_ = false;

  std::unique_ptr<Timer> request_ticker_;  // request ticker, 1200 ms
  std::unique_ptr<Timer> read_timeout_;    // read time-out, 25 s
  std::unique_ptr<Timer> record_sender_;   // record sender, 1000 ms
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace veltrane
