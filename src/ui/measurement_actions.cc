#include "ui/measurement_actions.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

#include "storage/image_text.h"
#include "tuning/measurement.h"
#include "ui/block_diagram.h"
#include "ui/channel_dialogs.h"
#include "ui/channel_strip.h"
#include "ui/detail_channel_page.h"
#include "ui/detail_window.h"
#include "ui/fit_dialog.h"
#include "ui/main_window.h"
#include "ui/response_graph.h"
#include "ui/tuning_overlay.h"
#include "ui/tuning_overlay_bar.h"

namespace veltrane {
namespace {

// Narrow where room modes are, wider above: what a tuning starts from.
constexpr Smoothing kFirstSmoothing{SmoothingKind::kVariable, 6};

QString Caption(int channel) {
  const std::string_view caption = kChannelCaptions[channel];
  return QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size()));
}

QAction* AddAction(QWidget* widget, const QString& text, const char* name) {
  widget->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* action = new QAction(text, widget);
  action->setObjectName(QLatin1String(name));
  widget->addAction(action);
  return action;
}

std::string TooLargeMessage(const QString& path) {
  return path.toStdString() + ": " + TooLargeMeasurementProblem().message;
}

}  // namespace

MeasurementActions::MeasurementActions(MainWindow& main, ParameterModel& model, EditorState& state,
                                       EditHistory& history, OperationView& view, FileStore& files)
    : main_(main), model_(model), history_(history), view_(view), files_(files) {
  overlay_ = std::make_unique<TuningOverlay>(model, state, session_);
  main.Graph()->SetOverlay(overlay_.get());
  // Right of the title, above the graph's right half, where the dB SPL scale is.
  bar_ = new TuningOverlayBar(*overlay_, main.GraphArea());
  bar_->setGeometry(540, 0, 410, 24);
  bar_->raise();
  bar_->hide();
  connect(bar_, &TuningOverlayBar::CurvesChanged, main.Graph(), &ResponseGraph::RefreshView);
  connect(bar_, &TuningOverlayBar::SmoothingChosen, this, [this](const Smoothing& smoothing) {
    const int channel = overlay_->Channel();
    if (channel < 0 || !session_.channels[channel]) return;
    session_.channels[channel]->smoothing = smoothing;
    SessionChanged(channel);
  });
  // The detail window's page decides whose curves are drawn: the list follows it.
  connect(main.Graph(), &ResponseGraph::TitleChanged, this, [this] {
    const int channel = overlay_->Channel();
    if (channel >= 0 && session_.channels[channel]) {
      bar_->ShowSmoothing(session_.channels[channel]->smoothing);
    }
  });

  for (int channel : kShownChannels) AddActions(main.Diagram()->Strip(channel), channel, &main);
  if (DetailWindow* detail = main.Detail()) {
    for (int channel = 0; channel < kChannelCount; ++channel) {
      AddActions(detail->Page(channel), channel, detail);
    }
  }
}

MeasurementActions::~MeasurementActions() {
  main_.Graph()->SetOverlay(nullptr);
  delete bar_.data();
}

TuningOverlayBar* MeasurementActions::Bar() const { return bar_.data(); }

void MeasurementActions::AddActions(QWidget* widget, int channel, QWidget* dialog_parent) {
  auto* separator = new QAction(widget);
  separator->setSeparator(true);
  widget->addAction(separator);
  connect(AddAction(widget, QStringLiteral("Import measurement…"), "ImportMeasurementAction"),
          &QAction::triggered, this,
          [this, channel, dialog_parent] { Import(channel, dialog_parent); });
  connect(AddAction(widget, QStringLiteral("Clear measurement"), "ClearMeasurementAction"),
          &QAction::triggered, this, [this, channel] { Clear(channel); });
  connect(AddAction(widget, QStringLiteral("Fit EQ to target…"), "FitEqAction"),
          &QAction::triggered, this,
          [this, channel, dialog_parent] { OpenFit(channel, dialog_parent); });
}

void MeasurementActions::ChooseFiles(const QString& title, QWidget* parent,
                                     std::function<void(const QStringList&)> chosen) {
  if (files_handler_) {
    chosen(files_handler_(title));
    return;
  }
  // Answered through the event loop, as every file dialog of the editor is.
  auto* box = new QFileDialog(parent, title);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::ApplicationModal);
  box->setFileMode(QFileDialog::ExistingFiles);
  box->setNameFilter(QStringLiteral("Measurements (*.txt *.frd *.csv *.tsv *.dat);;All files (*)"));
  connect(box, &QFileDialog::filesSelected, this,
          [chosen = std::move(chosen)](const QStringList& files) { chosen(files); });
  box->show();
}

void MeasurementActions::Import(int channel, QWidget* dialog_parent) {
  if (channel < 0 || channel >= kChannelCount) return;
  ChooseFiles(
      QStringLiteral("Import a measurement of %1 (several files: averaged)").arg(Caption(channel)),
      dialog_parent, [this, channel](const QStringList& paths) {
        if (!paths.isEmpty()) ImportFiles(channel, paths);
      });
}

std::optional<MeasuredResponse> MeasurementActions::ReadCurve(const QString& path) {
  const FileReadResult read = files_.Read(path.toStdString(), kMaxMeasurementFileBytes);
  if (read.status == FileReadResult::Status::kError) {
    view_.ShowMessage(CannotReadMessage(path.toStdString(), read.error));
    return std::nullopt;
  }
  if (read.status == FileReadResult::Status::kTooLarge) {
    view_.ShowMessage(TooLargeMessage(path));
    return std::nullopt;
  }
  MeasurementRead measurement = ReadMeasurementText(read.text);
  if (measurement.problem || measurement.curves.empty()) {
    const std::string reason =
        measurement.problem ? measurement.problem->message : std::string("no curve in it");
    view_.ShowMessage(QStringLiteral("%1 is not a measurement that can be imported:\n%2")
                          .arg(path, QString::fromStdString(reason))
                          .toStdString());
    return std::nullopt;
  }
  // Files with several curves side by side: the first is the one measured.
  return std::move(measurement.curves.front());
}

bool MeasurementActions::ImportFiles(int channel, const QStringList& paths) {
  if (channel < 0 || channel >= kChannelCount || paths.isEmpty()) return false;
  std::vector<MeasuredResponse> positions;
  ChannelMeasurement measurement;
  for (const QString& path : paths) {
    std::optional<MeasuredResponse> curve = ReadCurve(path);
    if (!curve) return false;  // nothing changes until every file has been read
    positions.push_back(std::move(*curve));
    measurement.sources.push_back(path.toStdString());
  }
  measurement.averaged =
      positions.size() == 1 ? std::move(positions.front()) : PowerAverage(positions);
  if (measurement.averaged.points.size() < 2) {
    view_.ShowMessage("These measurements share no frequency range: they cannot be averaged.");
    return false;
  }
  const std::optional<ChannelMeasurement>& old = session_.channels[channel];
  measurement.smoothing = old ? old->smoothing : kFirstSmoothing;
  session_.channels[channel] = std::move(measurement);
  overlay_->SetLastChannel(channel);
  SessionChanged(channel);
  return true;
}

void MeasurementActions::Clear(int channel) {
  if (channel < 0 || channel >= kChannelCount) return;
  session_.channels[channel].reset();
  // The all-channels view goes on with a measurement that is left, if any.
  for (int other = 0; other < kChannelCount && overlay_->Channel() == channel; ++other) {
    if (session_.channels[other]) overlay_->SetLastChannel(other);
  }
  SessionChanged(channel);
}

void MeasurementActions::SessionChanged(int channel) {
  bool any = false;
  for (const auto& measurement : session_.channels) any = any || measurement.has_value();
  bar_->setVisible(any);
  if (channel >= 0 && session_.channels[channel]) {
    bar_->ShowSmoothing(session_.channels[channel]->smoothing);
  }
  overlay_->Invalidate();
  main_.Graph()->RefreshView();
}

FitDialog* MeasurementActions::OpenFit(int channel, QWidget* dialog_parent) {
  if (channel < 0 || channel >= kChannelCount) return nullptr;
  const std::optional<ChannelMeasurement>& measurement = session_.channels[channel];
  if (!measurement) {
    view_.ShowMessage(QStringLiteral("%1 has no measurement to fit: right-click it and choose "
                                     "\"Import measurement…\" first.")
                          .arg(Caption(channel))
                          .toStdString());
    return nullptr;
  }
  overlay_->SetLastChannel(channel);
  auto* dialog =
      new FitDialog(model_, channel, Smooth(measurement->averaged, measurement->smoothing),
                    session_.target, overlay_->Settings(), dialog_parent);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->SetTargetFileChooser([this](std::function<void(MeasuredResponse)> chosen) {
    ChooseTargetFile(std::move(chosen));
  });
  connect(dialog, &QDialog::accepted, this,
          [this, dialog] { ApplyBands(dialog->Channel(), dialog->Result().bands); });
  // The target and the range chosen stay for the graph and the next fit.
  connect(dialog, &QDialog::finished, this, [this, dialog] {
    session_.target = dialog->Target();
    // A range left upside down when the dialog closed is not one to draw or fit with.
    if (dialog->Settings().low_hz < dialog->Settings().high_hz) {
      overlay_->Settings() = dialog->Settings();
    }
    SessionChanged(dialog->Channel());
  });
  dialog->open();
  return dialog;
}

void MeasurementActions::ApplyBands(int channel,
                                    const std::array<BandParams, kBandsPerChannel>& bands) {
  if (channel < 0 || channel >= kChannelCount) return;
  history_.Apply([&](ParameterModel& model) {
    for (int i = 0; i < kBandsPerChannel; ++i) model.bands[BandId(channel, i)] = bands[i];
  });
}

void MeasurementActions::ChooseTargetFile(std::function<void(MeasuredResponse)> chosen) {
  ChooseFiles(QStringLiteral("Target curve"), &main_,
              [this, chosen = std::move(chosen)](const QStringList& paths) {
                if (paths.isEmpty()) return;
                if (std::optional<MeasuredResponse> curve = ReadCurve(paths.front())) {
                  chosen(std::move(*curve));
                }
              });
}

void MeasurementActions::OnPresetFile(PresetFile::FileEvent event, const std::string& path) {
  if (event == PresetFile::FileEvent::kStored) {
    StoreCompanion(path);
  } else {
    LoadCompanion(path);
  }
}

void MeasurementActions::StoreCompanion(const std::string& preset_path) {
  bool any = false;
  for (const auto& measurement : session_.channels) any = any || measurement.has_value();
  if (!any) return;  // no measurements, no file beside the preset
  const std::string path = TuningSessionPath(preset_path);
  const std::string error = files_.WriteAtomically(path, WriteTuningSession(session_));
  if (!error.empty()) {
    view_.ShowMessage("The preset file was saved, but its measurements were not.\n" +
                      CannotSaveMessage(path, error));
  }
}

void MeasurementActions::LoadCompanion(const std::string& preset_path) {
  const std::string path = TuningSessionPath(preset_path);
  const FileReadResult read = files_.Read(path, kMaxTuningSessionFileBytes);
  if (read.status == FileReadResult::Status::kError) {
    // Most preset files have no measurements beside them; one that is there but cannot be
    // read is worth saying.
    if (QFileInfo::exists(QString::fromStdString(path))) {
      view_.ShowMessage(CannotReadMessage(path, read.error));
    }
    return;
  }
  if (read.status == FileReadResult::Status::kTooLarge) {
    view_.ShowMessage(path + " was not read: it is larger than " +
                      std::to_string(kMaxTuningSessionFileBytes / (1024 * 1024)) +
                      " MB, more than the measurements of every channel.");
    return;
  }
  TuningSessionRead session = ReadTuningSession(read.text);
  if (!session.session) {
    view_.ShowMessage(QStringLiteral("The measurements beside the preset file were not loaded: "
                                     "%1 is damaged (%2).")
                          .arg(QString::fromStdString(path), QString::fromStdString(session.error))
                          .toStdString());
    return;
  }
  session_ = std::move(*session.session);
  for (int channel = 0; channel < kChannelCount; ++channel) {
    if (session_.channels[channel]) overlay_->SetLastChannel(channel);
  }
  SessionChanged(overlay_->Channel());
}

}  // namespace veltrane
