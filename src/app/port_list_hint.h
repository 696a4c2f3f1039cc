#pragma once

// The port list's tooltip on a first run: while the list is empty and no processor is on
// USB, it says so and tells where to go from there (the fixed layout has no room for more).
// Asked when the tooltip is about to show, so it never lags behind the list or the USB.

#include <QComboBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

namespace veltrane {

// The tooltip text while nothing is found.
QString NothingFoundTip();

class PortListHint : public QObject {
  Q_OBJECT

 public:
  PortListHint(QComboBox* combo, std::function<bool()> hid_present);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QComboBox> combo_;
  std::function<bool()> hid_present_;
};

}  // namespace veltrane
