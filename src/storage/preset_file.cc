#include "storage/preset_file.h"

#include <utility>

#include "model/image_codec.h"
#include "storage/device_presets.h"
#include "storage/image_text.h"

namespace veltrane {
namespace {

constexpr int kLoadTickMs = 350;
constexpr int kLoadTicks = 25;
constexpr int kSaveTimeoutMs = 12000;
constexpr int kRequestWaitMs = 50;
constexpr int kBlockWaitMs = 100;

const FileDialogRequest kSaveDialog{
    .save = true, .default_name = "Preset_file", .filter = "Preset_data_file"};
const FileDialogRequest kOpenDialog{.save = false, .default_name = "", .filter = "Preset_file"};

}  // namespace

PresetFile::PresetFile(TimerHost& timers, ProtocolEngine& engine, const ParameterModel& model,
                       OperationView& view, FileStore& files, OperationGate& gate)
    : timers_(timers), engine_(engine), model_(model), view_(view), files_(files), gate_(gate) {
  load_progress_ = timers_.CreateTimer("load_progress", kLoadTickMs, [this] { OnLoadTick(); });
  save_timeout_ =
      timers_.CreateTimer("file_save_timeout", kSaveTimeoutMs, [this] { OnSaveTimeout(); });
}

PresetFile::~PresetFile() { *alive_ = false; }

bool PresetFile::SameConnection(std::uint64_t epoch) const {
  return engine_.Connected() && engine_.ConnectionEpoch() == epoch;
}

// ---------------------------------------------------------------------------------------
// Store File

void PresetFile::StoreFile() {
  if (!engine_.Connected()) {
    // The editor's own settings; the lock byte and the header fields stay 00.
    Save(EncodeParameterImage(model_));
    return;
  }
  ReadImage([this](std::optional<std::string> image) {
    if (image) Save(std::move(*image));
  });
}

void PresetFile::ReadImage(ImageDone done) {
  if (!engine_.Connected()) return;
  if (!gate_.TryEnter()) {
    Report({.operation = Operation::kReadImage, .kind = OutcomeKind::kBusy});
    return;
  }
  view_.HideDetailWindow();
  engine_.StopScheduler();
  save_pending_ = true;
  // The image that answers is saved as it came, not applied.
  engine_.ClaimReplies(kObjImage, [this](const Frame& /*frame*/, std::string_view text) {
    // The poll and the slot scan restart while a save dialog may still be open: the
    // connection stays supervised meanwhile.
    if (TakeImageForFile(text) && engine_.Connected()) engine_.StartScheduler();
  });
  image_done_ = std::move(done);
  save_timeout_->Start();
  const std::uint64_t epoch = engine_.ConnectionEpoch();
  timers_.Defer(kRequestWaitMs, [this, alive = std::weak_ptr<bool>(alive_), epoch] {
    if (alive.expired() || !save_pending_ || !SameConnection(epoch)) return;
    engine_.DiscardReceived();
    engine_.SendFrame(BuildShortRequest(engine_.DeviceId(), 0, kObjImage));
  });
}

PresetFile::ImageDone PresetFile::EndImageRead() {
  save_pending_ = false;
  engine_.ReleaseReplies(kObjImage);
  save_timeout_->Stop();
  gate_.Leave();
  return std::exchange(image_done_, nullptr);
}

bool PresetFile::TakeImageForFile(std::string_view image) {
  if (!save_pending_ || !engine_.Connected()) return false;
  if (ImageDone done = EndImageRead()) done(std::string(image.substr(0, kImageTextLength)));
  return true;
}

void PresetFile::OnSaveTimeout() {
  save_timeout_->Stop();
  if (!save_pending_) return;
  ImageDone done = EndImageRead();
  if (engine_.Connected()) engine_.StartScheduler();
  view_.ShowMessage(kMsgOvertimeShort);
  Report({.operation = Operation::kReadImage,
          .kind = OutcomeKind::kNoAnswer,
          .text = std::string(kMsgOvertimeShort)});
  if (done) done(std::nullopt);
}

void PresetFile::Save(std::string text) {
  view_.ChooseFile(kSaveDialog, [this, alive = std::weak_ptr<bool>(alive_),
                                 text = std::move(text)](std::optional<std::string> path) {
    if (alive.expired()) return;
    if (!path) {
      Report({.operation = Operation::kStoreFile, .kind = OutcomeKind::kCancelled});
      return;
    }
    const std::string error = files_.WriteAtomically(*path, text + "\r\n");
    if (!error.empty()) {
      const std::string message = CannotSaveMessage(*path, error);
      view_.ShowMessage(message);
      Report({.operation = Operation::kStoreFile,
              .kind = OutcomeKind::kFileError,
              .file = *path,
              .text = message,
              .reason = error});
      return;
    }
    if (watcher_) watcher_(FileEvent::kStored, *path);
    Report({.operation = Operation::kStoreFile, .file = *path});
  });
}

// ---------------------------------------------------------------------------------------
// Load File

void PresetFile::LoadFile() {
  const bool with_link = engine_.Connected();
  if (!gate_.TryEnter()) {
    Report({.operation = Operation::kLoadFile, .kind = OutcomeKind::kBusy});
    return;
  }
  if (with_link) {
    view_.HideDetailWindow();
    engine_.StopPoll();
  }
  const std::uint64_t epoch = engine_.ConnectionEpoch();
  view_.ChooseFile(kOpenDialog, [this, alive = std::weak_ptr<bool>(alive_), with_link,
                                 epoch](std::optional<std::string> path) {
    if (alive.expired()) return;
    if (!path) {
      gate_.Leave();
      if (SameConnection(epoch)) engine_.StartPoll();
      Report({.operation = Operation::kLoadFile, .kind = OutcomeKind::kCancelled});
      return;
    }
    LoadChosen(*path, with_link, epoch);
  });
}

void PresetFile::LoadChosen(const std::string& path, bool with_link, std::uint64_t epoch) {
  // A connection that ended while the dialog was open takes the operation with it.
  if (with_link && !SameConnection(epoch)) {
    gate_.Leave();
    Report({.operation = Operation::kLoadFile, .kind = OutcomeKind::kLinkLost, .file = path});
    return;
  }
  CheckedFile file = ReadImageFile(files_, path, /*backup=*/false);
  if (!file.error.empty()) {
    gate_.Leave();
    if (with_link) engine_.StartPoll();
    view_.ShowMessage(file.error);
    Report({.operation = Operation::kLoadFile,
            .kind = OutcomeKind::kFileError,
            .file = path,
            .text = file.error});
    return;
  }
  std::string text = std::move(file.text);
  if (watcher_) watcher_(FileEvent::kLoaded, path);
  if (!with_link) {
    engine_.ApplyImageText(text);  // the link stays closed
    gate_.Leave();
    view_.ShowStatus(StatusNote::kFileLoaded);
    Report({.operation = Operation::kLoadFile, .file = path});
    return;
  }
  load_path_ = path;
  WriteToProcessor(std::move(text));
}

void PresetFile::WriteToProcessor(std::string text) {
  view_.SetTransferProgress(0);
  view_.ShowTransferBox(true);
  view_.SetOperationPanelsEnabled(false);
  load_ticks_ = 0;
  load_ticks_running_ = true;
  image_sent_ = false;
  stop_requested_ = false;
  load_progress_->Start();
  // Nothing may leave between the header and its block: a slot frame there would
  // corrupt the long write. Whatever was pending is dropped when the image is applied.
  engine_.StopScheduler();
  engine_.SendLongWriteHeader(0, kObjImage);
  const std::uint64_t epoch = engine_.ConnectionEpoch();
  timers_.Defer(kBlockWaitMs,
                [this, alive = std::weak_ptr<bool>(alive_), epoch, text = std::move(text)] {
                  if (alive.expired() || !load_ticks_running_ || !SameConnection(epoch)) {
                    return;
                  }
                  engine_.SendImageBlock(text, kObjImage, 0);
                  if (!engine_.LinkOpen()) {
                    EndLoadWith(OutcomeKind::kLinkLost);
                    engine_.StartScheduler();  // the poll's time-out ends the connection
                    return;
                  }
                  image_sent_ = true;
                  engine_.ApplyImageText(text);
                  if (stop_requested_) RequestStop();
                });
}

void PresetFile::OnLoadTick() {
  ++load_ticks_;
  view_.SetTransferProgress(4 * load_ticks_);
  if (load_ticks_ < kLoadTicks) return;
  EndLoad();
  if (engine_.Connected()) engine_.StartScheduler();
  view_.ShowStatus(StatusNote::kFileLoaded);
  Report({.operation = Operation::kLoadFile, .done = 1, .total = 1, .file = load_path_});
}

void PresetFile::EndLoadWith(OutcomeKind kind) {
  EndLoad();
  Report({.operation = Operation::kLoadFile,
          .kind = kind,
          .done = image_sent_ ? 1 : 0,
          .total = 1,
          .file = load_path_});
}

bool PresetFile::RequestStop() {
  if (!load_ticks_running_) return false;
  // The header has left: without its block the processor would take the next frames for it.
  if (!image_sent_) {
    stop_requested_ = true;
    return true;
  }
  EndLoadWith(OutcomeKind::kCancelled);
  if (engine_.Connected()) engine_.StartScheduler();
  return true;
}

void PresetFile::EndLoad() {
  load_progress_->Stop();
  load_ticks_running_ = false;
  view_.ShowTransferBox(false);
  view_.SetOperationPanelsEnabled(true);
  gate_.Leave();
}

void PresetFile::OnConnectionClosed() {
  if (save_pending_) {
    ImageDone done = EndImageRead();
    Report({.operation = Operation::kReadImage, .kind = OutcomeKind::kLinkLost});
    if (done) done(std::nullopt);
  }
  if (load_ticks_running_) EndLoadWith(OutcomeKind::kLinkLost);
}

}  // namespace veltrane
