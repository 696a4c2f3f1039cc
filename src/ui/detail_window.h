#pragma once

// The detail window (TForm5): non-modal, created hidden, opened by the strip buttons of the
// main window. It keeps no parameters of its own: its controls edit the model and queue the
// blocks, and a refresh shows the model again. While it is shown the graph follows the
// channel page selected here.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "model/parameter_model.h"
#include "protocol/timer.h"
#include "ui/detail_context.h"
#include "ui/editor_state.h"

class QTabWidget;

namespace veltrane {

class ChannelPage;
class LimiterPage;
class MixerPage;
class ProgressBox;
class SliderPage;
class SliderWheel;

// Tab positions, in tab order.
inline constexpr int kMixerPage = 0;  // never shown
inline constexpr int kGainPage = 1;
inline constexpr int kDelayPage = 2;
inline constexpr int kLimiterPage = 3;
// IN, In B, H_OUT, M_OUT, L_OUT, Out 4 follow in ChannelId order.
constexpr int ChannelPageIndex(int channel) { return 4 + channel; }

// Where the detail window opens, as the top-left corner of its frame: beside the main
// window's graph (right, then left), else below it, else above it, each moved inside the
// screen's available area; when every place covers part of the graph, the one that covers
// least. The graph stays free for dragging its points.
inline constexpr int kDetailWindowGap = 8;
QPoint DetailWindowPosition(const QRect& graph, const QSize& frame, const QRect& available);

inline constexpr char kResetCaption[] = "MIRSAL";
inline constexpr char kResetQuestion[] = "Do you want to reset all filters?";
inline constexpr int kResetTickMs = 300;
inline constexpr int kResetTicks = 20;

class DetailWindow : public QWidget, public BandFieldSink {
  Q_OBJECT

 public:
  // Asks a Yes/No question (warning icon, No the default); true only for Yes.
  using ConfirmFn = std::function<bool(const QString& caption, const QString& text)>;

  DetailWindow(ParameterModel& model, TimerHost& timers, EditorState& state,
               QWidget* parent = nullptr);
  ~DetailWindow() override;

  void AttachSink(SlotSink* sink) { context_.sink = sink; }
  void AttachGraph(GraphControl* graph) { context_.graph = graph; }
  void AttachMainPanels(MainPanels* panels) { panels_ = panels; }
  void AttachEditHistory(EditHistory* history) { context_.history = history; }
  void SetConfirm(ConfirmFn confirm) { confirm_ = std::move(confirm); }

  // The strip buttons of the main window.
  void OpenGainPage();
  void OpenDelayPage();
  void OpenLimiterPage();
  void OpenMixerPage();
  void OpenChannelPage(int channel);

  // Shows the model without queueing anything. The main window interleaves the graph's
  // full recompute and its own strips between the two halves.
  void ApplyModelToControls();
  void ApplyBandsAndCrossovers();  // band texts, Q boxes, types, crossovers, bypass
  void ApplySlidersAndLists();     // delay and gain sliders, limiter and route lists

  // Disconnect: back to the first channel's page.
  void ResetSelectedChannel();

  void ShowDraggedBand(int band_id, const QString& frequency_text,
                       const QString& gain_text) override;
  void StepBandQ(int band_id, int delta) override;
  // Undo, redo, a copy or an import changed these blocks: their controls show the model.
  void ShowBlocks(const BlockSet& blocks);
  ChannelPage* Page(int channel) const { return channel_pages_[channel]; }

  bool Resetting() const;
  QTabWidget* Pages() const { return pages_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void ShowPageInTitle();
  void BuildPages();
  void StyleControls();
  void OpenOn(int page, bool show_first);
  void OnPageChanged(int index);
  void OnResetClicked(int channel);
  void OnResetTick();
  void SetResetLock(bool locked);

  DetailContext context_;
  MainPanels* panels_ = nullptr;
  ConfirmFn confirm_;
  QTabWidget* pages_ = nullptr;
  MixerPage* mixer_page_ = nullptr;
  SliderPage* gain_page_ = nullptr;
  SliderPage* delay_page_ = nullptr;
  LimiterPage* limiter_page_ = nullptr;
  std::array<ChannelPage*, kChannelCount> channel_pages_{};
  ProgressBox* reset_box_ = nullptr;
  std::unique_ptr<Timer> reset_timer_;
  int reset_ticks_ = 0;
  SliderWheel* wheel_ = nullptr;
  bool quiet_page_change_ = false;
};

}  // namespace veltrane
