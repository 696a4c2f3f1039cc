#pragma once

// `ports --probe`: every serial port is asked, in turn, whether the processor at the
// chosen device number answers there (its keep-alive poll, as a line scan of one number
// asks it), so that the user learns which port is the processor's without trying each.

#include <QJsonArray>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "access/line_scan.h"
#include "cli/command_line.h"
#include "cli/session.h"

namespace veltrane {

enum class PortAnswer { kAnswers, kGarbled, kSilent, kCannotOpen };

// The processors among the HID devices, as lines of text and as JSON.
void ListProcessorHid(HidBackend& backend, std::vector<std::string>& lines, QJsonArray& json);

class PortProbe {
 public:
  PortProbe(CtlOptions options, CtlEnvironment& environment, std::FILE* out, std::FILE* err);
  ~PortProbe();
  PortProbe(const PortProbe&) = delete;
  PortProbe& operator=(const PortProbe&) = delete;

  void Start(std::function<void(int)> finished);

 private:
  struct Probed {
    std::string path;
    PortAnswer answer = PortAnswer::kSilent;
    std::string reason;  // kCannotOpen: the system's reason
  };

  void Next();
  void Report();

  CtlOptions options_;
  CtlEnvironment& environment_;
  std::FILE* out_;
  std::FILE* err_;  // the progress line, on a terminal only
  std::function<void(int)> finished_;
  std::unique_ptr<LineScanner> scanner_;
  SerialPort* port_ = nullptr;
  std::vector<Probed> ports_;
  std::size_t next_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace veltrane
