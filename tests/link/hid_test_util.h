#pragma once

// A HID view that records what the link showed, and helpers to pump the link's reader.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <string>
#include <vector>

#include "link/fake_hid_backend.h"
#include "link/hid_history.h"
#include "link/hid_link.h"

namespace veltrane::test {

class RecordingHidView : public HidLinkView {
 public:
  void AddHistoryLine(const std::string& line) override { history.push_back(line); }
  void SetDeviceList(const std::vector<std::string>& names) override {
    devices = names;
    ++device_list_updates;
  }
  void SetStatusText(const std::string& text) override { status = text; }
  void SetPortListsEnabled(bool enabled) override { port_lists_enabled = enabled; }

  std::vector<std::string> history;
  std::vector<std::string> devices;
  int device_list_updates = 0;
  std::string status;
  bool port_lists_enabled = true;
};

inline HidDeviceInfo ProcessorInfo(std::string path = "fake:processor",
                                   std::string serial = "0000001") {
  return {std::move(path), kProcessorVendorId, kProcessorProductId, "HALVERNIQ", std::move(serial)};
}

// Lets the reader thread hand over every report it has taken and runs the queued calls,
// so that the test sees input exactly as far as the backend has it. The deadline only
// guards against a hang; reaching it is a failure.
inline bool DrainHidInput(const FakeHidBackend& fake, const HidLink& link) {
  QElapsedTimer guard;
  guard.start();
  for (;;) {
    QCoreApplication::processEvents();
    if (fake.PendingInput() == 0 && fake.ReportsRead() == link.ReportsReceived()) return true;
    if (guard.elapsed() > 10000) return false;
    QThread::yieldCurrentThread();
  }
}

}  // namespace veltrane::test
