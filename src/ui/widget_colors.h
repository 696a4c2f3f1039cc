#pragma once

// Colours the windows use for state, and the palette helpers that show them. Buttons
// carry their colour in the Button role, plain labels (lamp, swatches) in the Window
// role, so tests and the code read a control's colour the same way.

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace veltrane {

inline const QColor kSilver(192, 192, 192);     // untouched, or switched off by the user
inline const QColor kActiveRed(255, 0, 0);      // mute on, bypass on, lamp off
inline const QColor kLightGrey(224, 224, 224);  // unmuted as shown from an image
inline const QColor kLampGreen(0, 125, 0);      // connected
inline const QColor kWindowGrey(94, 94, 94);    // main window background
// Text of a field while it is disabled (the detail window's Reset takes 6 s): dimmer than
// black, still readable on silver, where the style's default is almost white.
inline const QColor kDisabledFieldText(64, 64, 64);

// The graph's frame and labels, and the one channel the single-channel views draw.
inline const QColor kGraphFrameGrey(128, 128, 128);
inline const QColor kGraphLabelText(255, 255, 255);
inline const QColor kGraphLabelBackground(4, 2, 4);
inline const QColor kSingleCurveRed(255, 0, 0);

// Curve colours of the all-channels view, also the legend swatches, In A .. Out 4.
inline QColor CurveColor(int channel) {
  static const QColor kColors[] = {QColor(255, 255, 0), QColor(0, 0, 255),   QColor(46, 121, 255),
                                   QColor(0, 255, 255), QColor(255, 0, 255), QColor(255, 0, 0)};
  return kColors[channel];
}

inline void SetButtonColor(QWidget* button, const QColor& color) {
  QPalette palette = button->palette();
  palette.setColor(QPalette::Button, color);
  button->setPalette(palette);
}

inline QColor ButtonColor(const QWidget* button) {
  return button->palette().color(QPalette::Button);
}

inline void SetFillColor(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, color);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

inline QColor FillColor(const QWidget* widget) { return widget->palette().color(QPalette::Window); }

}  // namespace veltrane
