#pragma once

// The whole serial line as one unit of work: find the processors that answer (scan), then
// run one short session per processor found, each at its own device number, one after
// the other; a processor that fails does not stop the others, and a table ends the run.

#include <QJsonObject>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "access/line_scan.h"
#include "cli/command_line.h"
#include "cli/session.h"

namespace veltrane {

class LineSession {
 public:
  LineSession(CtlOptions options, CtlEnvironment& environment, std::FILE* out, std::FILE* err);
  ~LineSession();
  LineSession(const LineSession&) = delete;
  LineSession& operator=(const LineSession&) = delete;

  void Start(std::function<void(int)> finished);
  // SIGINT or SIGTERM: the processor being written finishes its slot and stops, the
  // others are not started, and the table says so; the run ends with 128 + signal.
  void Interrupt(int signal);

  // The file of processor `number` in a backup folder: DIR/device-NNN.txt.
  static std::string DeviceFile(const std::string& dir, int number);

 private:
  struct Device {
    int number = 0;
    bool garbled = false;
    int code = -1;      // the processor's session's exit code; -1 when none ran
    std::string error;  // what went wrong, one line
    QJsonObject result;
    std::string file;
  };

  void Scan();
  void NextDevice();
  void Report();
  std::string DeviceText(const Device& d, QJsonObject& entry) const;
  void Fail(int code, const std::string& text);

  CtlOptions options_;
  CtlEnvironment& environment_;
  std::FILE* out_;
  std::FILE* err_;
  bool terminal_ = false;
  std::function<void(int)> finished_;
  std::unique_ptr<LineScanner> scanner_;
  std::int64_t scan_started_ms_ = 0;
  std::int64_t scan_ms_ = 0;
  std::vector<Device> devices_;
  std::vector<std::string> orphan_files_;  // restore-all: files of processors not found
  std::size_t next_ = 0;
  int interrupt_code_ = 0;
  std::unique_ptr<CtlSession> session_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace veltrane
