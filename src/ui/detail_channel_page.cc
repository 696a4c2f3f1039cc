#include "ui/detail_channel_page.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/detail_crossover_box.h"
#include "ui/detail_eq_row.h"
#include "ui/detail_names.h"
#include "ui/widget_colors.h"

namespace veltrane {

namespace {

QWidget* ColumnHeads(QWidget* parent) {
  auto* heads = new QWidget(parent);
  auto* layout = new QHBoxLayout(heads);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  const auto add = [&](const char* text, int width) {
    auto* label = new QLabel(QString::fromLatin1(text), heads);
    label->setFixedWidth(width);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
  };
  add("NO.", kEqNumberWidth);
  add("Frequency", kEqFieldWidth + kEqStepWidth + 2);
  add("Gain", kEqFieldWidth + kEqStepWidth + 2);
  add("Q value", kEqFieldWidth + kEqStepWidth + 2);
  add("Type", kEqTypeWidth);
  layout->addStretch();
  return heads;
}

}  // namespace

ChannelPage::ChannelPage(DetailContext& context, int channel, QWidget* parent)
    : QWidget(parent), context_(context), channel_(channel) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  crossover_ = new CrossoverBox(context_, channel_, this);
  layout->addWidget(crossover_);

  auto* eq = new QGroupBox(QStringLiteral("EQ"), this);
  auto* eq_layout = new QVBoxLayout(eq);
  eq_layout->setContentsMargins(6, 4, 6, 4);
  eq_layout->setSpacing(2);
  eq_layout->addWidget(ColumnHeads(eq));
  for (int band = 0; band < kBandsPerChannel; ++band) {
    rows_[band] = new EqBandRow(context_, BandId(channel_, band), eq);
    eq_layout->addWidget(rows_[band]);
  }
  auto* buttons = new QHBoxLayout;
  reset_ = new QPushButton(QStringLiteral("Reset"), eq);
  reset_->setObjectName(ButtonName(kFirstResetButton + channel_));
  bypass_ = new QPushButton(QStringLiteral("bypass"), eq);
  bypass_->setObjectName(ButtonName(kFirstBypassButton + channel_));
  SetButtonColor(bypass_, kSilver);
  buttons->addStretch();
  buttons->addWidget(reset_);
  buttons->addWidget(bypass_);
  buttons->addStretch();
  eq_layout->addLayout(buttons);
  layout->addWidget(eq, 1);

  connect(reset_, &QPushButton::clicked, this, [this] {
    if (on_reset_) on_reset_(channel_);
  });
  connect(bypass_, &QPushButton::clicked, this, &ChannelPage::OnBypassClicked);
}

void ChannelPage::ResetBands() {
  const EditHistory::Scope edit(context_.history);
  for (EqBandRow* row : rows_) row->ShowStartTexts();
  for (int band = 0; band < kBandsPerChannel; ++band) {
    context_.model.bands[BandId(channel_, band)] = DefaultBand(band);
  }
  for (EqBandRow* row : rows_) row->ShowQState();
  for (EqBandRow* row : rows_) {
    context_.state.selected_band = row->BandIdOfRow();
    context_.QueueEqBand(row->BandIdOfRow());
    context_.UpdateBandPoint(kPeaking);
  }
}

void ChannelPage::ShowBypass() {
  SetButtonColor(bypass_, context_.model.channels[channel_].eq_bypass == 1 ? kActiveRed : kSilver);
}

void ChannelPage::OnBypassClicked() {
  const EditHistory::Scope edit(context_.history);
  std::uint8_t& bypass = context_.model.channels[channel_].eq_bypass;
  // Only 1 counts as on, so a stray value from an image switches bypass on.
  bypass = bypass == 1 ? 0 : 1;
  ShowBypass();
  context_.RefreshView();
  context_.QueueChannel(channel_);
}

}  // namespace veltrane
