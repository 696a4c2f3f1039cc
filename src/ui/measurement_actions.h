#pragma once

// The tuning assistant in the windows: per channel "Import measurement…", "Clear
// measurement" and "Fit EQ to target…" in the strip's and the page's menus, the session
// that keeps the measurements, their curves on the graph with the row that switches them,
// and the measurements file that follows a preset file when it is stored or loaded.

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "model/edit_history.h"
#include "model/parameter_model.h"
#include "protocol/view.h"
#include "storage/file_store.h"
#include "storage/preset_file.h"
#include "tuning/tuning_session.h"
#include "ui/editor_state.h"

class QWidget;

namespace veltrane {

class FitDialog;
class MainWindow;
class TuningOverlay;
class TuningOverlayBar;

class MeasurementActions : public QObject {
  Q_OBJECT

 public:
  // The files chosen for an import, empty when cancelled; tests answer with it.
  using FilesHandler = std::function<QStringList(const QString& title)>;

  MeasurementActions(MainWindow& main, ParameterModel& model, EditorState& state,
                     EditHistory& history, OperationView& view, FileStore& files);
  ~MeasurementActions() override;

  void SetFilesHandler(FilesHandler handler) { files_handler_ = std::move(handler); }

  // Asks for one or several files and imports them into the channel.
  void Import(int channel, QWidget* dialog_parent);
  // Reads and averages the files; any file that cannot be used is named with its line and
  // reason and nothing changes. True when the channel has the new measurement.
  bool ImportFiles(int channel, const QStringList& paths);
  void Clear(int channel);
  // Opens the fit dialog, or says why not; its Apply writes the bands as one edit.
  FitDialog* OpenFit(int channel, QWidget* dialog_parent);
  // The fitted bands of `channel` as one edit, sent like any other.
  void ApplyBands(int channel, const std::array<BandParams, kBandsPerChannel>& bands);

  // A preset file was stored or loaded: its measurements file is written or read.
  void OnPresetFile(PresetFile::FileEvent event, const std::string& path);

  TuningSession& Session() { return session_; }
  TuningOverlay& Overlay() const { return *overlay_; }
  TuningOverlayBar* Bar() const;

 private:
  void AddActions(QWidget* widget, int channel, QWidget* dialog_parent);
  void ChooseFiles(const QString& title, QWidget* parent,
                   std::function<void(const QStringList&)> chosen);
  // The file's curve, or nothing after a message saying why.
  std::optional<MeasuredResponse> ReadCurve(const QString& path);
  void ChooseTargetFile(std::function<void(MeasuredResponse)> chosen);
  void SessionChanged(int channel);
  void StoreCompanion(const std::string& preset_path);
  void LoadCompanion(const std::string& preset_path);

  MainWindow& main_;
  ParameterModel& model_;
  EditHistory& history_;
  OperationView& view_;
  FileStore& files_;
  TuningSession session_;
  std::unique_ptr<TuningOverlay> overlay_;
  QPointer<TuningOverlayBar> bar_;
  FilesHandler files_handler_;
};

}  // namespace veltrane
