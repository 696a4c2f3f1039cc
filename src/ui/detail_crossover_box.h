#pragma once

// The "XOver" box of a channel page: high-pass and low-pass frequency boxes with step
// buttons and their type lists. Every change stores the index, redraws the channel's
// crossover on the graph and queues the channel's crossover frame, which always carries
// all four values.

#include <QGroupBox>
#include <cstdint>

#include "ui/detail_context.h"

class QComboBox;

namespace veltrane {

class NumericField;
class StepButtons;

class CrossoverBox : public QGroupBox {
  Q_OBJECT

 public:
  CrossoverBox(DetailContext& context, int channel, QWidget* parent = nullptr);

  void ShowTypes();
  void ShowFrequencies();

 private:
  struct Filter {
    bool high_pass = true;
    NumericField* field = nullptr;
    StepButtons* steps = nullptr;
    QComboBox* type = nullptr;
  };

  std::uint8_t& Frequency(const Filter& filter) const;
  std::uint8_t& Type(const Filter& filter) const;
  void Select() const { context_.state.crossover_channel = channel_; }
  void ShowFrequency(const Filter& filter);
  void Changed(const Filter& filter);  // redraw, then queue
  void OnCommit(const Filter& filter, double value);
  void OnStep(const Filter& filter, int delta);
  void OnTypeChosen(const Filter& filter, int type);

  DetailContext& context_;
  int channel_;
  Filter high_pass_;
  Filter low_pass_;
};

}  // namespace veltrane
