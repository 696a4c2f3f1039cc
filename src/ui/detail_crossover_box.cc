#include "ui/detail_crossover_box.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

#include "ui/detail_names.h"
#include "ui/detail_numeric_field.h"
#include "ui/drop_down_list.h"

namespace veltrane {

CrossoverBox::CrossoverBox(DetailContext& context, int channel, QWidget* parent)
    : QGroupBox(QStringLiteral("XOver"), parent), context_(context), channel_(channel) {
  const CrossoverNumbers& numbers = kCrossoverNumbers[channel];
  high_pass_.high_pass = true;
  low_pass_.high_pass = false;

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->setVerticalSpacing(10);
  int row = 0;
  const auto add = [&](Filter& filter, const char* field_caption, int edit_number,
                       int type_number) {
    layout->addWidget(new QLabel(QString::fromLatin1(field_caption), this), row, 0);
    filter.field = new NumericField(context_.state, NumericField::Sign::kPositive, this);
    filter.field->setObjectName(EditName(edit_number));
    filter.field->setFixedWidth(70);
    filter.field->SetOnActivate([this] { Select(); });
    filter.field->SetOnCommit([this, &filter](double value) { OnCommit(filter, value); });
    filter.steps = new StepButtons(filter.field->objectName(), this);
    filter.steps->SetOnStep([this, &filter](int delta) { OnStep(filter, delta); });
    auto* field_row = new QHBoxLayout;
    field_row->setSpacing(2);
    field_row->addWidget(filter.field);
    field_row->addWidget(filter.steps);
    field_row->addStretch();
    layout->addLayout(field_row, row++, 1);

    layout->addWidget(new QLabel(QStringLiteral("     Type   "), this), row, 0);
    filter.type = new DropDownList(this);
    filter.type->setObjectName(ComboName(type_number));
    for (std::string_view name : kCrossoverTypeNames) {
      filter.type->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    connect(filter.type, &QComboBox::activated, this,
            [this, &filter](int type) { OnTypeChosen(filter, type); });
    layout->addWidget(filter.type, row++, 1);
  };
  add(high_pass_, "     HPF    ", numbers.high_pass_edit, numbers.high_pass_type);
  add(low_pass_, "     LPF     ", numbers.low_pass_edit, numbers.low_pass_type);
  layout->setRowStretch(row, 1);

  // Start texts: the default indices 0 and 240.
  high_pass_.field->ShowText(QStringLiteral("19.7"));
  low_pass_.field->ShowText(QStringLiteral("20100.0"));
}

void CrossoverBox::ShowTypes() {
  ShowChoice(high_pass_.type, Type(high_pass_));
  ShowChoice(low_pass_.type, Type(low_pass_));
}

void CrossoverBox::ShowFrequencies() {
  ShowFrequency(high_pass_);
  ShowFrequency(low_pass_);
}

std::uint8_t& CrossoverBox::Frequency(const Filter& filter) const {
  ChannelParams& params = context_.model.channels[channel_];
  return filter.high_pass ? params.hp_freq : params.lp_freq;
}

std::uint8_t& CrossoverBox::Type(const Filter& filter) const {
  ChannelParams& params = context_.model.channels[channel_];
  return filter.high_pass ? params.hp_type : params.lp_type;
}

void CrossoverBox::ShowFrequency(const Filter& filter) {
  filter.field->ShowText(TableText(kFreqTable, Frequency(filter)));
}

void CrossoverBox::Changed(const Filter& filter) {
  context_.CrossoverRedraw(channel_, filter.high_pass);
  context_.QueueCrossover(channel_);
}

void CrossoverBox::OnCommit(const Filter& filter, double value) {
  const EditHistory::Scope edit(context_.history);
  Frequency(filter) = static_cast<std::uint8_t>(NearestFreqIndex(value));
  ShowFrequency(filter);
  Changed(filter);
}

void CrossoverBox::OnStep(const Filter& filter, int delta) {
  const EditHistory::Scope edit(context_.history);
  Select();
  std::uint8_t& index = Frequency(filter);
  const int next = index + delta;
  if (next >= 0 && next <= kFreqIndexMax) {
    index = static_cast<std::uint8_t>(next);
    Changed(filter);
  }
  ShowFrequency(filter);
}

void CrossoverBox::OnTypeChosen(const Filter& filter, int type) {
  const EditHistory::Scope edit(context_.history);
  Select();
  Type(filter) = static_cast<std::uint8_t>(type);
  Changed(filter);
}

}  // namespace veltrane
