#pragma once

// What veltrane-ctl runs on as a program: Qt's timers, the serial link, hidapi.

#include "cli/session.h"
#include "link/qt_timer_host.h"
#include "link/serial_link.h"

namespace veltrane {

class QtCtlEnvironment : public CtlEnvironment {
 public:
  TimerHost& Timers() override { return timers_; }
  SerialPort& Serial(Receiver receiver) override {
    serial_.SetReceiver(std::move(receiver));
    return serial_;
  }
  std::unique_ptr<HidBackend> CreateHidBackend() override;
  std::vector<std::string> SerialPorts() override;

 private:
  QtTimerHost timers_;
  SerialLink serial_;
};

}  // namespace veltrane
