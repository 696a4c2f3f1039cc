#pragma once

// The preset file: one parameter image on the PC. "Store File" saves the processor's
// image (read for the purpose) or, without a link, the editor's own model; "Load File"
// checks a file, shows it in the editor and, with a link, writes it into the processor's
// live settings as one long write.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/parameter_model.h"
#include "protocol/engine.h"
#include "protocol/timer.h"
#include "protocol/view.h"
#include "storage/file_store.h"
#include "protocol/outcome.h"
#include "storage/operation_gate.h"

namespace veltrane {

class PresetFile : public OutcomeReporter {
 public:
  PresetFile(TimerHost& timers, ProtocolEngine& engine, const ParameterModel& model,
             OperationView& view, FileStore& files, OperationGate& gate);
  ~PresetFile();
  PresetFile(const PresetFile&) = delete;
  PresetFile& operator=(const PresetFile&) = delete;

  void StoreFile();
  void LoadFile();
  // With a link: the processor's live image, read without applying it. `done` gets the
  // image text, or nothing after the 12 s time-out (whose message is shown).
  using ImageDone = std::function<void(std::optional<std::string> image)>;
  void ReadImage(ImageDone done);

  void OnConnectionClosed();

  // Told the path of every preset file written, and of every file read and accepted for
  // loading, so that what belongs beside a preset file can follow it.
  enum class FileEvent { kStored, kLoaded };
  using FileWatcher = std::function<void(FileEvent event, const std::string& path)>;
  void SetFileWatcher(FileWatcher watcher) { watcher_ = std::move(watcher); }

  bool SavePending() const { return save_pending_; }
  bool Loading() const { return load_ticks_running_; }
  // Ends a load: before the image has left nothing is sent; after, the wait for the
  // processor to take it is cut short. Reports kCancelled; false when no load runs.
  bool RequestStop();

 private:
  // The image that answered a file save's request: true when taken.
  bool TakeImageForFile(std::string_view image);
  // Ends a file save's wait for the image, however it ends; gives back what to call.
  ImageDone EndImageRead();
  void Save(std::string text);
  void LoadChosen(const std::string& path, bool with_link, std::uint64_t epoch);
  void WriteToProcessor(std::string text);
  void OnLoadTick();
  void EndLoad();
  void EndLoadWith(OutcomeKind kind);
  void OnSaveTimeout();
  bool SameConnection(std::uint64_t epoch) const;

  TimerHost& timers_;
  ProtocolEngine& engine_;
  const ParameterModel& model_;
  OperationView& view_;
  FileStore& files_;
  OperationGate& gate_;

  FileWatcher watcher_;
  bool save_pending_ = false;
  ImageDone image_done_;
  bool load_ticks_running_ = false;
  int load_ticks_ = 0;
  bool image_sent_ = false;  // the load's long write has left
  bool stop_requested_ = false;
  std::string load_path_;
  std::unique_ptr<Timer> load_progress_;  // load progress, 350 ms
  std::unique_ptr<Timer> save_timeout_;  // the image for a file save, 12 s
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace veltrane
