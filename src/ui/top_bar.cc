#include "ui/top_bar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "ui/drop_down_list.h"
#include "ui/widget_colors.h"

namespace veltrane {
namespace {

// Legend entries left to right; In B and Out 4 keep a place but are never shown.
constexpr std::array<int, kChannelCount> kLegendX = {120, 240, 330, 510, 690, 810};
constexpr int kLegendY = 44;

QLabel* AddLabel(const QString& text, int x, int y, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->move(x, y);
  return label;
}

}  // namespace

ChannelLegend::ChannelLegend(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Legend"));
  for (int channel = 0; channel < kChannelCount; ++channel) {
    const int x = kLegendX[channel];
    auto* caption = AddLabel(
        QString::fromLatin1(kChannelCaptions[channel].data(), kChannelCaptions[channel].size()), x,
        4, this);
    auto* swatch = new QLabel(this);
    swatch->setGeometry(x + 48, 6, 30, 10);
    SetFillColor(swatch, CurveColor(channel));
    auto* box = new QCheckBox(this);
    box->setObjectName(QStringLiteral("CurveBox%1").arg(channel));
    box->move(x + 84, 2);
    // All six start checked, even the two whose curves are never drawn.
    box->setChecked(true);
    connect(box, &QCheckBox::clicked, this,
            [this, channel](bool checked) { emit CurveToggled(channel, checked); });
    boxes_[channel] = box;
    if (channel == kInB || channel == kOut4) {
      caption->hide();
      swatch->hide();
      box->hide();
    }
  }
}

void ChannelLegend::SetBoxesEnabled(bool enabled) {
  for (QCheckBox* box : boxes_) box->setEnabled(enabled);
}

TopBar::TopBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TopBar"));

  lamp_ = new QLabel(this);
  lamp_->setObjectName(QStringLiteral("StatusLamp"));
  lamp_->setGeometry(14, 12, 16, 16);
  SetLamp(false);

  AddLabel(QStringLiteral("COM："), 44, 13, this);
  port_list_ = new DropDownList(this);
  port_list_->setObjectName(QStringLiteral("PortList"));
  port_list_->setGeometry(92, 9, 100, 24);

  connect_button_ = new QPushButton(QStringLiteral("Disconnect"), this);
  connect_button_->setObjectName(QStringLiteral("ConnectButton"));
  connect_button_->setGeometry(204, 8, 96, 26);

  AddLabel(QStringLiteral("Device ID："), 330, 13, this);
  device_id_list_ = new DropDownList(this);
  device_id_list_->setObjectName(QStringLiteral("RzComboBox2"));
  device_id_list_->setGeometry(410, 9, 70, 24);
  for (int number = 1; number <= 256; ++number) {
    device_id_list_->addItem(QString::number(number));
  }
  device_id_list_->setCurrentIndex(0);

  auto* version = AddLabel(QStringLiteral("V 2.0.1_NO50_H"), 850, 13, this);
  version->setObjectName(QStringLiteral("VersionLabel"));

  legend_ = new ChannelLegend(this);
  legend_->setGeometry(0, kLegendY, 977, 26);
}

void TopBar::SetLamp(bool connected) { SetFillColor(lamp_, connected ? kLampGreen : kActiveRed); }

}  // namespace veltrane
