#include "ui/detail_eq_row.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

#include "ui/detail_names.h"
#include "ui/detail_numeric_field.h"
#include "ui/drop_down_list.h"

namespace veltrane {

namespace {

// Start texts of bands 1..8 as the boxes show them before any image arrives.
constexpr std::array<const char*, kBandsPerChannel> kStartFrequencyTexts = {
    "19.7", "51.1", "102", "198", "500", "1000", "2000", "2997"};
constexpr char kStartGainText[] = "0.0";
constexpr char kStartQText[] = "1.0";

}  // namespace

EqBandRow::EqBandRow(DetailContext& context, int band_id, QWidget* parent)
    : QWidget(parent), context_(context), band_id_(band_id) {
  const int channel = ChannelOfBand(band_id);
  const int band = BandNumber(band_id);
  const EqRowNumbers& numbers = kEqRowNumbers[channel];

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  auto* number = new QLabel(QStringLiteral(" %1 ").arg(band + 1), this);
  number->setFixedWidth(kEqNumberWidth);
  number->setAlignment(Qt::AlignCenter);
  layout->addWidget(number);

  const auto add_field = [&](Field field, int edit_number, NumericField::Sign sign,
                             StepButtons*& steps) {
    auto* box = new NumericField(context_.state, sign, this);
    box->setObjectName(EditName(edit_number));
    box->setFixedWidth(kEqFieldWidth);
    box->SetOnActivate([this] { Select(); });
    box->SetOnCommit([this, field](double value) { OnCommit(field, value); });
    steps = new StepButtons(box->objectName(), this);
    steps->setFixedWidth(kEqStepWidth);
    steps->SetOnStep([this, field](int delta) { OnStep(field, delta); });
    layout->addWidget(box);
    layout->addWidget(steps);
    return box;
  };
  frequency_ = add_field(Field::kFrequency, numbers.frequency[band], NumericField::Sign::kPositive,
                         frequency_steps_);
  gain_ = add_field(Field::kGain, numbers.gain[band], NumericField::Sign::kSigned, gain_steps_);
  q_ = add_field(Field::kQ, numbers.q[band], NumericField::Sign::kPositive, q_steps_);

  type_ = new DropDownList(this);
  type_->setObjectName(ComboName(numbers.type[band]));
  type_->setFixedWidth(kEqTypeWidth);
  for (std::string_view name : kEqTypeNames) {
    type_->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
  }
  // activated: only the user's choice counts, never a refresh.
  connect(type_, &QComboBox::activated, this, &EqBandRow::OnTypeChosen);
  layout->addWidget(type_);
  layout->addStretch();

  ShowStartTexts();
}

void EqBandRow::ShowTexts() {
  ShowFieldText(Field::kFrequency);
  ShowFieldText(Field::kGain);
  ShowFieldText(Field::kQ);
}

void EqBandRow::ShowQState() {
  const bool peaking = Band().type == kPeaking;
  if (peaking) {
    ShowFieldText(Field::kQ);
  } else {
    q_->ShowText(QString());
  }
  q_->setEnabled(peaking);
  q_steps_->setEnabled(peaking);
}

void EqBandRow::ShowType() { ShowChoice(type_, Band().type); }

void EqBandRow::ShowStartTexts() {
  frequency_->ShowText(QString::fromLatin1(kStartFrequencyTexts[BandNumber(band_id_)]));
  gain_->ShowText(QString::fromLatin1(kStartGainText));
  q_->ShowText(QString::fromLatin1(kStartQText));
  ShowChoice(type_, kPeaking);
}

void EqBandRow::StepQ(int delta) {
  // A shelf has no Q: its box and step buttons are disabled, and so is this.
  if (q_->isEnabled()) OnStep(Field::kQ, delta);
}

void EqBandRow::ShowDragged(const QString& frequency_text, const QString& gain_text) {
  frequency_->ShowText(frequency_text);
  gain_->ShowText(gain_text);
}

void EqBandRow::ShowFieldText(Field field) {
  const BandParams& band = Band();
  switch (field) {
    case Field::kFrequency:
      frequency_->ShowText(TableText(kFreqTable, band.freq));
      break;
    case Field::kGain:
      gain_->ShowText(TableText(kEqGainTable, band.ActiveGain()));
      break;
    case Field::kQ:
      q_->ShowText(TableText(kQTable, band.q));
      break;
  }
}

void EqBandRow::OnCommit(Field field, double value) {
  const EditHistory::Scope edit(context_.history);
  BandParams& band = Band();
  switch (field) {
    case Field::kFrequency:
      band.freq = static_cast<std::uint8_t>(NearestFreqIndex(value));
      ShowFieldText(field);
      context_.QueueEqBand(band_id_);
      context_.UpdateBandPoint(band.type);
      break;
    case Field::kGain:
      // The point and curve follow the stored gain before the box is rewritten.
      band.ActiveGain() = static_cast<std::uint16_t>(NearestEqGainIndex(value));
      context_.QueueEqBand(band_id_);
      context_.UpdateBandPoint(band.type);
      ShowFieldText(field);
      break;
    case Field::kQ:
      band.q = static_cast<std::uint8_t>(NearestQIndex(value));
      ShowFieldText(field);
      context_.QueueEqBand(band_id_);
      context_.UpdateBandPoint(band.type);
      break;
  }
}

void EqBandRow::OnStep(Field field, int delta) {
  const EditHistory::Scope edit(context_.history);
  Select();
  BandParams& band = Band();
  const auto step = [&](auto& index, int last) {
    const int next = index + delta;
    if (next < 0 || next > last) return false;
    index = static_cast<std::remove_reference_t<decltype(index)>>(next);
    return true;
  };
  bool changed = false;
  switch (field) {
    case Field::kFrequency:
      changed = step(band.freq, kFreqIndexMax);
      break;
    case Field::kGain:
      changed = step(band.ActiveGain(), kEqGainIndexMax);
      break;
    case Field::kQ:
      changed = step(band.q, kQIndexMax);
      break;
  }
  if (changed) {
    context_.UpdateBandPoint(band.type);
    context_.QueueEqBand(band_id_);
  }
  // Also at a range end, so a box that shows typed but uncommitted text is corrected.
  ShowFieldText(field);
}

void EqBandRow::OnTypeChosen(int type) {
  const EditHistory::Scope edit(context_.history);
  Select();
  BandParams& band = Band();
  band.type = static_cast<std::uint8_t>(type);
  ShowQState();
  context_.UpdateBandPoint(band.type);
  context_.QueueEqBand(band_id_);
  ShowFieldText(Field::kGain);
}

}  // namespace veltrane
