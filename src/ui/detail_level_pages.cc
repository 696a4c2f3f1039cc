#include "ui/detail_level_pages.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>
#include <span>
#include <string_view>

#include "ui/detail_names.h"
#include "ui/drop_down_list.h"

namespace veltrane {

namespace {

// In B and Out 4 have no visible controls; their groups exist so a refresh still sets them.
constexpr int kRowLabelWidth = 64;

bool ChannelShown(int channel) { return channel != kInB && channel != kOut4; }

QString Text(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QComboBox* MakeList(std::span<const std::string_view> items, const QString& name, QWidget* parent) {
  auto* list = new DropDownList(parent);
  list->setObjectName(name);
  for (std::string_view item : items) list->addItem(Text(item));
  return list;
}

}  // namespace

LevelSlider::LevelSlider(DetailContext& context, Kind kind, int channel, QWidget* parent)
    : QGroupBox(Text(kChannelGroupCaptions[channel]), parent),
      context_(context),
      kind_(kind),
      channel_(channel) {
  const bool gain = kind == Kind::kGain;
  slider_ = new QSlider(Qt::Vertical, this);
  slider_->setObjectName(ChannelControlName(gain ? "GainSlider" : "DelaySlider", channel));
  slider_->setRange(0, gain ? kChannelGainIndexMax : kDelayMax);
  slider_->setValue(gain ? kChannelGainZeroIndex : 0);
  slider_->setMinimumHeight(220);
  value_ = new QLabel(this);
  value_->setObjectName(ChannelControlName(gain ? "GainLabel" : "DelayLabel", channel));
  value_->setAlignment(Qt::AlignCenter);
  value_->setText(
      QString::fromStdString(gain ? FormatChannelGain(kChannelGainZeroIndex) : FormatDelay(0)));

  auto* layout = new QVBoxLayout(this);
  auto* scale_and_slider = new QHBoxLayout;
  scale_and_slider->addStretch();
  if (!gain) {
    auto* marks = new QVBoxLayout;
    marks->addWidget(new QLabel(QStringLiteral("20ms-"), this));
    marks->addStretch();
    marks->addWidget(new QLabel(QStringLiteral("0ms-"), this));
    scale_and_slider->addLayout(marks);
  }
  scale_and_slider->addWidget(slider_);
  scale_and_slider->addStretch();
  layout->addLayout(scale_and_slider, 1);
  layout->addWidget(value_);

  connect(slider_, &QSlider::valueChanged, this, &LevelSlider::OnValueChanged);
  // A whole drag of the handle is one edit, however many values it passes.
  connect(slider_, &QSlider::sliderPressed, this, [this] { SetGestureOpen(true); });
  connect(slider_, &QSlider::sliderReleased, this, [this] { SetGestureOpen(false); });
  if (!gain) ShowDistance(0);
}

void LevelSlider::SetGestureOpen(bool open) {
  if (open == gesture_open_) return;
  gesture_open_ = open;
  if (context_.history == nullptr) return;
  if (open) {
    context_.history->BeginEdit();
  } else {
    context_.history->EndEdit();
  }
}

void LevelSlider::hideEvent(QHideEvent* event) {
  QGroupBox::hideEvent(event);
  // A handle held while the window goes away never reports its release.
  SetGestureOpen(false);
}

void LevelSlider::ShowDistance(int delay_steps) {
  const QString text = QStringLiteral("%1 = %2 at %3 m/s")
                           .arg(QString::fromStdString(FormatDelay(delay_steps)),
                                QString::fromStdString(FormatDelayDistance(delay_steps)))
                           .arg(kSpeedOfSoundMps);
  slider_->setToolTip(text);
  value_->setToolTip(text);
}

void LevelSlider::ShowFromModel() {
  const ChannelParams& params = context_.model.channels[channel_];
  const QSignalBlocker blocker(slider_);
  if (kind_ == Kind::kGain) {
    slider_->setValue(params.gain);
    value_->setText(QString::fromStdString(FormatChannelGain(params.gain)));
  } else {
    slider_->setValue(params.delay);
    // The label tells the stored delay even where the slider has to stop at its end.
    value_->setText(QString::fromStdString(FormatDelay(params.delay)));
    ShowDistance(params.delay);
  }
}

void LevelSlider::OnValueChanged(int position) {
  const EditHistory::Scope edit(context_.history);
  ChannelParams& params = context_.model.channels[channel_];
  if (kind_ == Kind::kGain) {
    params.gain = static_cast<std::uint8_t>(position);
    value_->setText(QString::fromStdString(FormatChannelGain(position)));
    context_.RedrawAllCurves();
  } else {
    params.delay = static_cast<std::uint16_t>(position);
    value_->setText(QString::fromStdString(FormatDelay(position)));
    ShowDistance(position);
    context_.RefreshView();
  }
  context_.QueueChannel(channel_);
}

SliderPage::SliderPage(DetailContext& context, LevelSlider::Kind kind, QWidget* parent)
    : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  for (int channel = 0; channel < kChannelCount; ++channel) {
    groups_[channel] = new LevelSlider(context, kind, channel, this);
    groups_[channel]->setVisible(ChannelShown(channel));
    layout->addWidget(groups_[channel]);
  }
}

void SliderPage::ShowFromModel() {
  for (LevelSlider* group : groups_) group->ShowFromModel();
}

LimiterColumn::LimiterColumn(DetailContext& context, int channel, QWidget* parent)
    : QGroupBox(Text(kChannelGroupCaptions[channel]), parent),
      context_(context),
      channel_(channel) {
  lists_ = {MakeList(kLimiterThresholdNames, ChannelControlName("LimiterThreshold", channel), this),
            MakeList(kLimiterAttackNames, ChannelControlName("LimiterAttack", channel), this),
            MakeList(kLimiterReleaseNames, ChannelControlName("LimiterRelease", channel), this),
            MakeList(kLimiterRatioNames, ChannelControlName("LimiterRatio", channel), this)};
  auto* layout = new QVBoxLayout(this);
  for (std::size_t i = 0; i < lists_.size(); ++i) {
    layout->addWidget(lists_[i]);
    connect(lists_[i], &QComboBox::activated, this, [this, i](int position) {
      const EditHistory::Scope edit(context_.history);
      OutputParams& output = context_.model.Output(channel_);
      std::uint8_t* values[] = {&output.limiter_threshold, &output.limiter_attack,
                                &output.limiter_release, &output.limiter_ratio};
      *values[i] = static_cast<std::uint8_t>(position);
      context_.QueueLimiter(channel_);
    });
  }
}

void LimiterColumn::ShowFromModel() {
  const OutputParams& output = context_.model.Output(channel_);
  ShowChoice(lists_[0], output.limiter_threshold);
  ShowChoice(lists_[1], output.limiter_attack);
  ShowChoice(lists_[2], output.limiter_release);
  ShowChoice(lists_[3], output.limiter_ratio);
}

LimiterPage::LimiterPage(DetailContext& context, QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  const char* heads[] = {"Threshold", "Attack", "Release", "Ratio"};
  for (std::size_t row = 0; row < row_labels_.size(); ++row) {
    row_labels_[row] = new QLabel(QString::fromLatin1(heads[row]), this);
  }
  layout->addSpacing(kRowLabelWidth);
  for (int output = 0; output < kOutputCount; ++output) {
    const int channel = kOut1 + output;
    columns_[output] = new LimiterColumn(context, channel, this);
    columns_[output]->setVisible(ChannelShown(channel));
    layout->addWidget(columns_[output], 0, Qt::AlignTop);
  }
  layout->addStretch();
}

void LimiterPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  AlignRowLabels();
}

void LimiterPage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  AlignRowLabels();
}

void LimiterPage::AlignRowLabels() {
  for (std::size_t row = 0; row < row_labels_.size(); ++row) {
    const QComboBox* list = columns_[0]->List(static_cast<int>(row));
    const QPoint top = list->mapTo(this, QPoint(0, 0));
    row_labels_[row]->setGeometry(8, top.y(), kRowLabelWidth, list->height());
  }
}

void LimiterPage::ShowFromModel() {
  for (LimiterColumn* column : columns_) column->ShowFromModel();
}

MixerPage::MixerPage(DetailContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  auto* layout = new QHBoxLayout(this);
  for (int output = 0; output < kOutputCount; ++output) {
    const int channel = kOut1 + output;
    auto* group = new QGroupBox(QStringLiteral("Out %1").arg(output + 1), this);
    auto* group_layout = new QVBoxLayout(group);
    routes_[output] = MakeList(kRouteNames, ChannelControlName("Route", channel), group);
    group_layout->addWidget(routes_[output]);
    group_layout->addStretch();
    layout->addWidget(group);
    connect(routes_[output], &QComboBox::activated, this, [this, channel](int position) {
      const EditHistory::Scope edit(context_.history);
      context_.model.Output(channel).route = static_cast<std::uint8_t>(position);
      context_.RefreshView();
      context_.QueueChannel(channel);
    });
  }
}

void MixerPage::ShowFromModel() {
  for (int output = 0; output < kOutputCount; ++output) {
    ShowChoice(routes_[output], context_.model.Output(kOut1 + output).route);
  }
}

}  // namespace veltrane
