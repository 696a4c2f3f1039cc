#pragma once

// The page of one channel: its "XOver" box and its "EQ" group of eight band rows with the
// "Reset" and "bypass" buttons. Row r of the page of channel c edits BandId 8c + r - 1.

#include <QWidget>
#include <array>
#include <functional>

#include "ui/detail_context.h"

class QPushButton;

namespace veltrane {

class CrossoverBox;
class EqBandRow;

class ChannelPage : public QWidget {
  Q_OBJECT

 public:
  ChannelPage(DetailContext& context, int channel, QWidget* parent = nullptr);

  int Channel() const { return channel_; }
  EqBandRow* Row(int band_number) const { return rows_[band_number]; }
  CrossoverBox* Crossover() const { return crossover_; }

  // The window asks before a Reset and shows its progress, so the button only reports.
  void SetOnResetClicked(std::function<void(int channel)> fn) { on_reset_ = std::move(fn); }

  // Reset after it was confirmed: start texts, start values in the model, then each band
  // selected, queued and redrawn in band order. Crossover and gain are left alone.
  void ResetBands();
  void ShowBypass();

 private:
  void OnBypassClicked();

  DetailContext& context_;
  int channel_;
  CrossoverBox* crossover_ = nullptr;
  std::array<EqBandRow*, kBandsPerChannel> rows_{};
  QPushButton* reset_ = nullptr;
  QPushButton* bypass_ = nullptr;
  std::function<void(int)> on_reset_;
};

}  // namespace veltrane
