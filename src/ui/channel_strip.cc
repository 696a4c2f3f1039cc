#include "ui/channel_strip.h"

#include <QLabel>
#include <QPushButton>

#include "model/channels.h"
#include "ui/widget_colors.h"

namespace veltrane {
namespace {

constexpr int kButtonHeight = 22;

struct ButtonColumn {
  StripButton kind;
  const char* caption;
  const char* name;
  int input_x;   // block-diagram x on an input strip, -1 when absent
  int output_x;  // block-diagram x on an output strip
  int width;
};

// The block-diagram columns of the original layout; inputs and outputs share captions
// but not columns.
constexpr std::array<ButtonColumn, kStripButtonCount> kButtons = {{
    {StripButton::kMixer, "Mixer", "Mixer", -1, 492, 40},
    {StripButton::kMute, "Mute", "Mute", 108, 535, 40},
    {StripButton::kPolarity, "Pol+", "Pol", 151, 578, 40},
    {StripButton::kGain, "Gain", "Gain", 194, 621, 40},
    {StripButton::kDelay, "Delay", "Delay", 237, 664, 50},
    {StripButton::kEq, "EQ", "EQ", 290, 717, 40},
    {StripButton::kXOver, "XOver", "XOver", 333, 760, 50},
    {StripButton::kLimiter, "Limiter", "Limiter", -1, 813, 50},
}};

constexpr std::array<const char*, kChannelCount> kRowLabels = {
    "------  IN ", "------  In B", "------ H_OUT", "------ M_OUT", "------ L_OUT", "------  Out 4"};
constexpr std::array<int, kChannelCount> kRowY = {21, 101, 21, 61, 101, 141};

// Inputs span from the diagram's left edge to the processor picture; outputs from the
// (hidden) Mixer column to the output names at the right.
constexpr int kInputLeft = 0;
constexpr int kInputWidth = 390;
constexpr int kOutputLeft = 480;
constexpr int kOutputWidth = 489;
constexpr int kInputLabelX = 10;
constexpr int kOutputLabelX = 870;  // block-diagram x, right of the Limiter column

}  // namespace

StripPlacement PlacementOfStrip(int channel) {
  if (IsOutput(channel)) return {kOutputLeft, kRowY[channel], kOutputWidth};
  return {kInputLeft, kRowY[channel], kInputWidth};
}

ChannelStrip::ChannelStrip(int channel, QWidget* parent) : QWidget(parent), channel_(channel) {
  const StripPlacement place = PlacementOfStrip(channel);
  setGeometry(place.x, place.y, place.width, kButtonHeight);
  setObjectName(QStringLiteral("Strip%1").arg(channel));
  const bool output = IsOutput(channel);

  row_label_ = new QLabel(QString::fromLatin1(kRowLabels[channel]), this);
  row_label_->setObjectName(QStringLiteral("RowLabel%1").arg(channel));
  row_label_->move((output ? kOutputLabelX : kInputLabelX) - place.x, 3);

  for (const ButtonColumn& column : kButtons) {
    const int x = output ? column.output_x : column.input_x;
    if (x < 0) continue;
    auto* button = new QPushButton(QString::fromLatin1(column.caption), this);
    button->setObjectName(
        QStringLiteral("%1Button%2").arg(QLatin1String(column.name)).arg(channel));
    button->setGeometry(x - place.x, 0, column.width, kButtonHeight);
    // Tab reaches the buttons; a click leaves the focus where the user was typing.
    button->setFocusPolicy(Qt::TabFocus);
    SetButtonColor(button, kSilver);
    const StripButton kind = column.kind;
    connect(button, &QPushButton::clicked, this, [this, kind] { emit Clicked(channel_, kind); });
    buttons_[static_cast<int>(kind)] = button;
  }
  // The route has no reachable control; its button exists for completeness only.
  if (QPushButton* mixer = Button(StripButton::kMixer)) mixer->hide();
}

QPushButton* ChannelStrip::Button(StripButton button) const {
  return buttons_[static_cast<int>(button)];
}

void ChannelStrip::ShowMuteColor(const QColor& color) {
  SetButtonColor(Button(StripButton::kMute), color);
}

void ChannelStrip::ShowPolarity(bool inverted) {
  Button(StripButton::kPolarity)
      ->setText(inverted ? QStringLiteral("Pol-") : QStringLiteral("Pol+"));
}

}  // namespace veltrane
