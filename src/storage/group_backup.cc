#include "storage/group_backup.h"

#include <utility>

#include "storage/device_presets.h"
#include "storage/image_text.h"

namespace veltrane {
namespace {

constexpr int kRequestTickMs = 1200;
constexpr int kReadTimeoutMs = 25000;
constexpr int kRecordSenderMs = 1000;
constexpr int kStopWaitMs = 50;
constexpr int kBlockWaitMs = 50;
constexpr int kNamesWaitMs = 1000;
constexpr int kSlots = static_cast<int>(kBackupSlots);

const FileDialogRequest kSaveDialog{
    .save = true, .default_name = "20Group_file", .filter = "20data_file"};
const FileDialogRequest kOpenDialog{.save = false, .default_name = "", .filter = "20Group_file"};

}  // namespace

GroupBackup::GroupBackup(TimerHost& timers, ProtocolEngine& engine, OperationView& view,
                         FileStore& files, OperationGate& gate)
    : timers_(timers), engine_(engine), view_(view), files_(files), gate_(gate) {
  request_ticker_ =
      timers_.CreateTimer("request_ticker", kRequestTickMs, [this] { OnRequestTick(); });
  read_timeout_ = timers_.CreateTimer("read_timeout", kReadTimeoutMs, [this] { OnReadTimeout(); });
  record_sender_ =
      timers_.CreateTimer("record_sender", kRecordSenderMs, [this] { OnRecordSenderTick(); });
  records_.reserve(kBackupSlots);
}

GroupBackup::~GroupBackup() { *alive_ = false; }

bool GroupBackup::SameConnection(std::uint64_t epoch) const {
  return engine_.Connected() && engine_.ConnectionEpoch() == epoch;
}

// ---------------------------------------------------------------------------------------
// Save 20-group to PC

void GroupBackup::SaveToPc() {
  if (!engine_.Connected()) {
    view_.ShowStatus(StatusNote::kNotConnected);
    return;
  }
  ReadSlots([this](std::optional<std::vector<std::string>> records) {
    if (records) ChooseSavePath(std::move(*records), std::nullopt);
  });
}

// The records took 25 s to read: a file that cannot be written asks for another path, and
// only a confirmed Cancel throws them away.
void GroupBackup::ChooseSavePath(std::vector<std::string> records, std::optional<Outcome> failed) {
  view_.ChooseFile(kSaveDialog, [this, alive = std::weak_ptr<bool>(alive_), failed,
                                 records = std::move(records)](std::optional<std::string> path) {
    if (alive.expired()) return;
    if (!path) {
      if (failed) {
        AskDiscard(records, *failed);
      } else {
        if (engine_.Connected()) engine_.StartScheduler();
        Report({.operation = Operation::kSaveBackup, .kind = OutcomeKind::kCancelled});
      }
      return;
    }
    const std::string error = files_.WriteAtomically(*path, FileLines(records));
    if (!error.empty()) {
      const std::string text = CannotSaveMessage(*path, error);
      view_.ShowMessage(text);
      ChooseSavePath(records, failed ? *failed
                                     : Outcome{.operation = Operation::kSaveBackup,
                                               .kind = OutcomeKind::kFileError,
                                               .file = *path,
                                               .text = text,
                                               .reason = error});
      return;
    }
    if (engine_.Connected()) engine_.StartScheduler();
    view_.ShowStatus(StatusNote::kGroupSaved);
    if (failed) {
      // Kept, but not where it was asked for: still a failure of the save asked for.
      Outcome kept = *failed;
      kept.fallback_file = *path;
      Report(kept);
    } else {
      Report({.operation = Operation::kSaveBackup, .file = *path});
    }
  });
}

void GroupBackup::AskDiscard(std::vector<std::string> records, Outcome failed) {
  view_.AskYesNo(kDiscardQuestion, kQuestionCaption,
                 [this, alive = std::weak_ptr<bool>(alive_), records = std::move(records),
                  failed = std::move(failed)](bool yes) {
                   if (alive.expired()) return;
                   if (!yes) {
                     ChooseSavePath(records, failed);
                     return;
                   }
                   if (engine_.Connected()) engine_.StartScheduler();
                   Report(failed);
                 });
}

void GroupBackup::ReadSlots(RecordsDone done) {
  if (!engine_.Connected()) return;
  if (!gate_.TryEnter()) {
    Report({.operation = Operation::kReadSlots, .kind = OutcomeKind::kBusy, .total = kSlots});
    return;
  }
  engine_.StopScheduler();
  records_done_ = std::move(done);
  const std::uint64_t epoch = engine_.ConnectionEpoch();
  timers_.Defer(kStopWaitMs, [this, alive = std::weak_ptr<bool>(alive_), epoch] {
    if (alive.expired()) return;
    if (!SameConnection(epoch)) {
      gate_.Leave();
      records_done_ = nullptr;
      return;
    }
    engine_.DiscardReceived();
    requests_ = 0;
    records_.clear();
    read_pending_ = true;
    engine_.ClaimReplies(kObjPresetImage, [this](const Frame& /*frame*/, std::string_view text) {
      if (engine_.Connected()) OnRecord(text);
    });
    view_.HideDetailWindow();
    view_.SetTransferProgress(0);
    view_.ShowTransferBox(true);
    view_.SetOperationPanelsEnabled(false);
    read_timeout_->Start();
    request_ticker_->Start();
  });
}

// The requests leave 1.2 s apart whether or not answers have come.
void GroupBackup::OnRequestTick() {
  ++requests_;
  if (engine_.Connected()) {
    engine_.SendFrame(BuildShortRequest(engine_.DeviceId(), static_cast<std::uint8_t>(requests_),
                                        kObjPresetImage));
  }
  view_.SetTransferProgress(5 * requests_);
  if (requests_ >= kSlots) request_ticker_->Stop();
}

void GroupBackup::OnRecord(std::string_view record) {
  if (!read_pending_) return;
  // Each answer says which slot it holds (its bank byte): a doubled answer is passed over
  // rather than shifting every later record into the wrong line of the file. An answer
  // without a slot number falls back to the order of arrival.
  const int carried = HexByteAt(record, 11);
  const std::size_t slot =
      carried >= 1 && carried <= kSlots ? static_cast<std::size_t>(carried) : records_.size() + 1;
  if (slot <= records_.size()) return;  // already held
  if (slot != records_.size() + 1) {
    // A later slot before this one: the missing answer will not come in its place.
    EndReadWith(OutcomeKind::kNoAnswer, std::string(kMsgOvertimeShort));
    return;
  }
  records_.emplace_back(record.substr(0, kImageTextLength));
  if (records_.size() < kBackupSlots) return;
  EndRead();
  std::vector<std::string> records = std::move(records_);
  records_.clear();
  Report({.operation = Operation::kReadSlots, .done = kSlots, .total = kSlots});
  if (RecordsDone done = std::exchange(records_done_, nullptr)) {
    done(std::move(records));
  } else if (engine_.Connected()) {
    engine_.StartScheduler();
  }
}

void GroupBackup::EndRead() {
  read_pending_ = false;
  engine_.ReleaseReplies(kObjPresetImage);
  read_timeout_->Stop();
  request_ticker_->Stop();
  requests_ = 0;
  view_.ShowTransferBox(false);
  view_.SetOperationPanelsEnabled(true);
  gate_.Leave();
}

void GroupBackup::OnReadTimeout() {
  if (!read_pending_) return;
  EndReadWith(OutcomeKind::kNoAnswer, std::string(kMsgOvertimeShort));
}

// Nothing is written from an incomplete read.
void GroupBackup::EndReadWith(OutcomeKind kind, std::string text) {
  const int read = RecordsRead();
  EndRead();
  records_.clear();
  if (kind != OutcomeKind::kLinkLost && engine_.Connected()) engine_.StartScheduler();
  if (!text.empty()) view_.ShowMessage(text);
  Report({.operation = Operation::kReadSlots,
          .kind = kind,
          .done = read,
          .total = kSlots,
          .text = std::move(text)});
  if (RecordsDone done = std::exchange(records_done_, nullptr)) done(std::nullopt);
}

// ---------------------------------------------------------------------------------------
// Load 20-group to DV

void GroupBackup::LoadToDevice() {
  if (!engine_.Connected()) {
    view_.ShowStatus(StatusNote::kNotConnected);
    return;
  }
  if (!gate_.TryEnter()) {
    Report({.operation = Operation::kRestore, .kind = OutcomeKind::kBusy, .total = kSlots});
    return;
  }
  view_.SetTransferProgress(0);
  engine_.StopPoll();
  joined_.clear();
  const std::uint64_t epoch = engine_.ConnectionEpoch();
  view_.ChooseFile(kOpenDialog, [this, alive = std::weak_ptr<bool>(alive_),
                                 epoch](std::optional<std::string> path) {
    if (alive.expired()) return;
    if (!path) {
      gate_.Leave();
      if (SameConnection(epoch)) engine_.StartPoll();
      Report({.operation = Operation::kRestore, .kind = OutcomeKind::kCancelled, .total = kSlots});
      return;
    }
    LoadChosen(*path, epoch);
  });
}

void GroupBackup::LoadChosen(const std::string& path, std::uint64_t epoch) {
  if (!SameConnection(epoch)) {
    gate_.Leave();
    Report({.operation = Operation::kRestore, .kind = OutcomeKind::kLinkLost, .total = kSlots});
    return;
  }
  CheckedFile file = ReadImageFile(files_, path, /*backup=*/true);
  if (!file.error.empty()) {
    gate_.Leave();
    engine_.StartPoll();
    view_.ShowMessage(file.error);
    Report({.operation = Operation::kRestore,
            .kind = OutcomeKind::kFileError,
            .total = kSlots,
            .file = path,
            .text = file.error});
    return;
  }
  joined_ = std::move(file.text);
  view_.ShowTransferBox(true);
  view_.SetOperationPanelsEnabled(false);
  slot_counter_ = 0;
  slots_written_ = 0;
  stop_requested_ = false;
  writing_ = true;
  // Nothing may leave between a header and its block; pending changes wait for the end.
  engine_.StopScheduler();
  record_sender_->Start();
}

void GroupBackup::OnRecordSenderTick() {
  record_sender_->Stop();
  engine_.StopPoll();
  const int k = slot_counter_;
  const int n = k + 1;
  slot_counter_ = n;
  // The line's position decides the slot; the record's own header is not used.
  engine_.SendLongWriteHeader(static_cast<std::uint8_t>(n), kObjPresetImage);
  const std::uint64_t epoch = engine_.ConnectionEpoch();
  timers_.Defer(kBlockWaitMs, [this, alive = std::weak_ptr<bool>(alive_), epoch, k, n] {
    if (alive.expired() || !writing_ || !SameConnection(epoch)) return;
    engine_.SendImageBlock(std::string_view(joined_).substr(k * kImageTextLength, kImageTextLength),
                           kObjPresetImage, static_cast<std::uint8_t>(n));
    // A slot counts once its bytes have left on a link that is still there; the processor
    // acknowledges none of them.
    if (!engine_.LinkOpen()) {
      EndWriteWith(OutcomeKind::kLinkLost);
      engine_.StartScheduler();  // the poll's time-out ends the connection as "interrupt."
      return;
    }
    slots_written_ = n;
    view_.SetTransferProgress(5 * n);
    if (stop_requested_ && n < kSlots) {
      EndWriteWith(OutcomeKind::kCancelled);
      engine_.StartScheduler();
    } else if (n < kSlots) {
      record_sender_->Start();
    } else {
      FinishWrite(epoch);
    }
  });
}

void GroupBackup::FinishWrite(std::uint64_t epoch) {
  slot_counter_ = 0;
  timers_.Defer(kNamesWaitMs, [this, alive = std::weak_ptr<bool>(alive_), epoch] {
    if (alive.expired() || !writing_ || !SameConnection(epoch)) return;
    engine_.DiscardReceived();
    engine_.SendFrame(BuildShortRequest(engine_.DeviceId(), 0, kObjPresetNames));
    timers_.Defer(kStopWaitMs, [this, alive, epoch] {
      if (alive.expired() || !writing_ || !SameConnection(epoch)) return;
      EndWriteWith(OutcomeKind::kDone);
      engine_.StartScheduler();
      view_.ShowStatus(StatusNote::kGroupLoaded);
    });
  });
}

void GroupBackup::EndWrite() {
  record_sender_->Stop();
  writing_ = false;
  joined_.clear();
  view_.ShowTransferBox(false);
  view_.SetOperationPanelsEnabled(true);
  gate_.Leave();
}

void GroupBackup::EndWriteWith(OutcomeKind kind) {
  EndWrite();
  Report({.operation = Operation::kRestore, .kind = kind, .done = slots_written_, .total = kSlots});
}

bool GroupBackup::RequestStop() {
  if (read_pending_) {
    EndReadWith(OutcomeKind::kCancelled, {});
    return true;
  }
  if (!writing_) return false;
  if (slot_counter_ == slots_written_ && slots_written_ < kSlots) {
    // Between two slots: nothing is on its way out.
    EndWriteWith(OutcomeKind::kCancelled);
    if (engine_.Connected()) engine_.StartScheduler();
  } else {
    stop_requested_ = true;
  }
  return true;
}

void GroupBackup::OnConnectionClosed() {
  if (read_pending_) EndReadWith(OutcomeKind::kLinkLost, {});
  if (writing_) EndWriteWith(OutcomeKind::kLinkLost);
}

}  // namespace veltrane
